#include "http/location_resolver.h"

#include <cctype>
#include <vector>

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Length of "scheme:" at the front, 0 when the text has no scheme.
size_t SchemeLength(const std::string& url) {
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return 0;
  for (size_t i = 1; i < url.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (c == ':') return i + 1;
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

struct SplitURL {
  std::string scheme;     // "http:"
  std::string authority;  // "//host:port", empty when there is none
  std::string path;       // "/a/b"
  std::string query;      // "?q", empty when there is none
};

SplitURL Split(const std::string& url) {
  SplitURL parts;
  const size_t schemeLength = SchemeLength(url);
  parts.scheme = url.substr(0, schemeLength);
  size_t at = schemeLength;
  if (url.compare(at, 2, "//") == 0) {
    const size_t end = url.find_first_of("/?#", at + 2);
    parts.authority = url.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? url.size() : end;
  }
  const size_t hash = url.find('#', at);
  const std::string rest = url.substr(at, hash == std::string::npos ? std::string::npos : hash - at);
  const size_t question = rest.find('?');
  parts.path = rest.substr(0, question);
  if (question != std::string::npos) parts.query = rest.substr(question);
  return parts;
}

std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> kept;
  size_t at = 0;
  const bool absolute = !path.empty() && path[0] == '/';
  if (absolute) at = 1;
  bool endsInFolder = false;
  while (at <= path.size()) {
    const size_t slash = path.find('/', at);
    const std::string segment = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    const bool last = slash == std::string::npos;
    if (segment == ".") {
      endsInFolder = last;
    } else if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      endsInFolder = last;
    } else {
      kept.push_back(segment);
      endsInFolder = false;
    }
    if (last) break;
    at = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += '/';
    out += kept[i];
  }
  if (endsInFolder && !kept.empty()) out += '/';
  return out;
}

std::string WithoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

}  // namespace

std::string ResolveLocation(const std::string& currentURL, const std::string& location) {
  const std::string target = WithoutFragment(Trim(location));
  if (SchemeLength(target) > 0) return target;
  const SplitURL base = Split(currentURL);
  if (target.empty()) return base.scheme + base.authority + base.path + base.query;
  if (target.compare(0, 2, "//") == 0) return base.scheme + target;
  if (target[0] == '?') return base.scheme + base.authority + base.path + target;
  const SplitURL relative = Split(target);
  std::string path;
  if (target[0] == '/') {
    path = relative.path;
  } else {
    const size_t folderEnd = base.path.rfind('/');
    const std::string folder = folderEnd == std::string::npos ? "/" : base.path.substr(0, folderEnd + 1);
    path = folder + relative.path;
  }
  return base.scheme + base.authority + RemoveDotSegments(path) + relative.query;
}
