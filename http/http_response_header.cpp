#include "http/http_response_header.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "http/http_messages.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string WithoutCR(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// Splits off the first line of rest: the text before the first LF (less one
// CR just before it), or all of rest when there is no LF.
std::string TakeLine(std::string& rest) {
  const size_t lf = rest.find('\n');
  if (lf == std::string::npos) {
    std::string line;
    line.swap(rest);
    return line;
  }
  size_t length = lf;
  if (length > 0 && rest[length - 1] == '\r') --length;
  std::string line = rest.substr(0, length);
  rest.erase(0, lf + 1);
  return line;
}

std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Digits only, and few enough that they fit; -1 for anything else.
int64_t ReadDecimal(const std::string& text) {
  if (text.empty() || text.size() > 18) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

HeaderResult CHTTPResponseHeader::Parse(const std::string& text) {
  m_strRaw = text;
  std::string rest = text;
  HeaderResult result = HDR_OK;
  bool statusRead = false;
  while (true) {
    const size_t lf = rest.find('\n');
    if (lf == 0) break;
    if (!statusRead) {
      statusRead = true;
      result = ReadStatusLine(rest);
      // 401, 404 and 304 end the parse at once; the rest read on.
      if (result == HDR_BAD || result == HDR_AUTH || result == HDR_NOT_FOUND || result == HDR_NOT_MODIFIED ||
          result == HDR_INTERIM)
        return result;
    } else {
      ParseLine(TakeLine(rest));
    }
    if (lf == std::string::npos) break;
  }
  // A header that begins with an empty line, or whose status code cannot be
  // read, is no HTTP response: its body must not be taken as file data.
  // A length that cannot be trusted would decide which bytes are the file.
  if (m_nStatus < 100 || m_bBadLength) {
    m_strError = http_messages::kCouldNotUnderstandHeader;
    return HDR_BAD;
  }
  if (m_bChunked) m_nContentLength = -1;
  return result;
}

HeaderResult CHTTPResponseHeader::ReadStatusLine(std::string& rest) {
  const size_t lf = rest.find('\n');
  m_strStatusLine = lf == std::string::npos ? rest : rest.substr(0, lf);
  // The blank is looked for in all the remaining text, not only the line.
  const size_t blank = rest.find(' ');
  if (blank == std::string::npos) {
    m_strError = http_messages::kCouldNotUnderstandHeader;
    return HDR_BAD;
  }
  if (lf == std::string::npos)
    rest.clear();
  else
    rest.erase(0, lf + 1);
  int status = 0;
  if (blank < m_strStatusLine.size() && std::sscanf(m_strStatusLine.c_str() + blank, "%d", &status) == 1 &&
      status > 0)
    m_nStatus = status;
  return ClassifyStatus();
}

HeaderResult CHTTPResponseHeader::ClassifyStatus() {
  switch (m_nStatus) {
    case 0:
      return HDR_OK;  // nothing read; Parse reports it once the loop ends
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
      return HDR_REDIRECT;
    case 401:
      m_strError = m_strStatusLine;
      return HDR_AUTH;
    case 404:
      m_strError = m_strStatusLine;
      return HDR_NOT_FOUND;
    case 304:
      m_strError = m_strStatusLine;
      return HDR_NOT_MODIFIED;
    default:
      break;
  }
  if (m_nStatus >= 100 && m_nStatus < 200) return HDR_INTERIM;
  // Any other 3xx cannot be followed, and an error page is not the file.
  if (m_nStatus >= 300) {
    m_strError = WithoutCR(m_strStatusLine);
    return HDR_FAILED;
  }
  return HDR_OK;
}

bool CHTTPResponseHeader::ParseLine(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  const std::string name = Upper(line.substr(0, colon));
  const std::string value = line.substr(colon + 1);
  if (name == "CONTENT-LENGTH") {
    m_strContentLengthLine = line;
    ParseContentLength(value);
  } else if (name == "ETAG") {
    m_strETag = TrimBlanks(value);
  } else if (name == "LAST-MODIFIED") {
    m_strLastModified = TrimBlanks(value);
  } else if (name == "LOCATION") {
    m_strLocation = value;
  } else if (name == "ACCEPT-RANGES") {
    m_strAcceptRanges = line;
  } else if (name == "TRANSFER-ENCODING") {
    m_bChunked = Upper(value).find("CHUNKED") != std::string::npos;
  } else if (name == "CONTENT-RANGE") {
    ParseContentRange(value);
  }
  return true;
}

// A second line with the same number is harmless; one with another number
// leaves no way to tell which is right.
void CHTTPResponseHeader::ParseContentLength(const std::string& value) {
  const int64_t length = ReadDecimal(TrimBlanks(value));
  if (length < 0 || (m_nContentLength >= 0 && length != m_nContentLength)) m_bBadLength = true;
  m_nContentLength = length;
}

void CHTTPResponseHeader::ParseContentRange(const std::string& value) {
  size_t at = value.find_first_not_of(" \t");
  if (at == std::string::npos || Upper(value.substr(at, 5)) != "BYTES") return;
  const char* range = value.c_str() + at + 5;
  long long first = 0, last = 0, total = 0;
  if (std::sscanf(range, " %lld-%lld/%lld", &first, &last, &total) == 3) {
    m_nRangeFirst = first;
    m_nRangeTotal = total;
  } else if (std::sscanf(range, " %lld-%lld/", &first, &last) == 2) {
    m_nRangeFirst = first;
  } else if (std::sscanf(range, " */%lld", &total) == 1) {
    m_nRangeTotal = total;
  }
}

int64_t CHTTPResponseHeader::GetFileTotal() const {
  if (m_nStatus == 206) return m_nRangeTotal;
  return m_nStatus == 200 ? m_nContentLength : -1;
}

bool CHTTPResponseHeader::IsRangeSupported() const { return !m_strAcceptRanges.empty() || m_nStatus == 206; }
