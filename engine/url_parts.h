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

// Splits scheme://[user[:password]@]host[:port][/object]. Nothing is
// decoded or encoded. False (and *parts untouched) for a URL it cannot read.
bool ParseURLEx(const std::string& url, UrlParts* parts);
