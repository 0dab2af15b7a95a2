#include "engine/url_parts.h"

#include <algorithm>
#include <cctype>

namespace {

struct Scheme {
  const char* name;
  uint32_t serviceType;
  uint16_t defaultPort;
};

constexpr Scheme kSchemes[] = {
    {"http", AFX_INET_SERVICE_HTTP, 80},
    {"https", AFX_INET_SERVICE_HTTPS, 443},
    {"ftp", AFX_INET_SERVICE_FTP, 21},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool ParsePort(const std::string& text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

// "host", "host:port", "[IPv6]" or "[IPv6]:port" (the port may be empty);
// the brackets are not part of the host. An empty host, or a colon in one
// without brackets, is no host.
bool SplitHostAndPort(const std::string& authority, std::string* host, uint16_t* port) {
  std::string rest = authority;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return false;
    *host = rest.substr(1, close - 1);
    rest.erase(0, close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
  } else {
    const size_t colon = rest.find(':');
    *host = rest.substr(0, colon);
    rest.erase(0, colon == std::string::npos ? rest.size() : colon);
  }
  // "host:" keeps the default port, as an empty port means.
  if (rest.size() > 1 && !ParsePort(rest.substr(1), port)) return false;
  return !host->empty();
}

// A CR, LF or NUL, raw or as an escape that a later unescaping would turn
// into one: in a command or a request line it would end the line early and
// let the rest of the text speak for itself.
bool HoldsControlCharacter(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '\0') return true;
    if (c == '%' && i + 2 < text.size() && text[i + 1] == '0') {
      const char low = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 2])));
      if (low == '0' || low == 'a' || low == 'd') return true;
    }
  }
  return false;
}

}  // namespace

bool ParseURLEx(const std::string& url, UrlParts* parts) {
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
  UrlParts result = *parts;
  const std::string scheme = Lower(url.substr(0, schemeEnd));
  result.serviceType = AFX_INET_SERVICE_UNK;
  for (const Scheme& known : kSchemes) {
    if (scheme == known.name) {
      result.serviceType = known.serviceType;
      result.port = known.defaultPort;
    }
  }

  const size_t authorityStart = schemeEnd + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
  std::string object = url.substr(authorityEnd);
  if (object.empty() || object[0] != '/') object = "/" + object;

  const size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    const std::string userInfo = authority.substr(0, at);
    authority.erase(0, at + 1);
    const size_t colon = userInfo.find(':');
    result.userName = userInfo.substr(0, colon);
    result.password = colon == std::string::npos ? std::string() : userInfo.substr(colon + 1);
  }
  if (!SplitHostAndPort(authority, &result.server, &result.port)) return false;
  result.object = object;
  for (const std::string* part : {&result.userName, &result.password, &result.server, &result.object})
    if (HoldsControlCharacter(*part)) return false;
  *parts = result;
  return true;
}
