#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t AFX_INET_SERVICE_UNK = 0;
constexpr uint32_t AFX_INET_SERVICE_FTP = 1;
constexpr uint32_t AFX_INET_SERVICE_HTTP = 3;
constexpr uint32_t AFX_INET_SERVICE_HTTPS = 4;

// The parts of a URL as the download managers use them.
struct UrlParts {
  uint32_t serviceType = AFX_INET_SERVICE_UNK;
  std::string server;
  std::string object;  // "/" when the URL names none
  uint16_t port = 0;   // the scheme's default when the URL names none
  std::string userName;
  std::string password;
};

// Splits scheme://[user[:password]@]host[:port][/object]; an IPv6 host is
// written in brackets ("[::1]:8080"), which the server field leaves out.
// Nothing is decoded or encoded. False (and *parts untouched) for a URL it
// cannot read: no "://", an empty host, a port of 0, above 65535 or not a
// number, or a CR, LF or NUL (raw, or escaped as %0D, %0A, %00) in the
// user, password, host or object.
bool ParseURLEx(const std::string& url, UrlParts* parts);
