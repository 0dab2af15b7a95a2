#include "http/http_response_header.h"

#include <algorithm>
#include <cctype>

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

// Three digits after the blanks that follow `blank`, and no fourth; 0 for
// anything else, which no status is.
int ReadStatusCode(const std::string& line, size_t blank) {
  size_t at = line.find_first_not_of(" \t", blank);
  int code = 0;
  int digits = 0;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    if (++digits > 3) return 0;
    code = code * 10 + (line[at] - '0');
  }
  return digits == 3 ? code : 0;
}

}  // namespace

HeaderResult CHTTPResponseHeader::Parse(const std::string& text) {
  m_strRaw = text;
  // An empty first line ends the header before any status.
  const size_t statusEnd = text.find('\n');
  HeaderResult result = statusEnd == 0 ? HDR_OK : ReadStatusLine(text, statusEnd);
  // 401, 404 and 304 end the parse at once; the rest read on.
  if (result == HDR_BAD || result == HDR_AUTH || result == HDR_NOT_FOUND || result == HDR_NOT_MODIFIED ||
      result == HDR_INTERIM)
    return result;
  // Each line is read where it stands: the text is walked once.
  for (size_t at = statusEnd == 0 || statusEnd == std::string::npos ? text.size() : statusEnd + 1;
       at < text.size();) {
    const size_t lf = text.find('\n', at);
    if (lf == at) break;
    size_t length = (lf == std::string::npos ? text.size() : lf) - at;
    // One CR before the LF belongs to the line end; without an LF it stays.
    if (lf != std::string::npos && text[lf - 1] == '\r') --length;
    ParseLine(text.substr(at, length));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  // A header that begins with an empty line, or whose status code cannot be
  // read, is no HTTP response: its body must not be taken as file data.
  // Numbers that cannot be trusted would decide which bytes are the file.
  if (m_nStatus < 100 || m_bBadNumber) {
    m_strError = http_messages::kCouldNotUnderstandHeader;
    return HDR_BAD;
  }
  if (m_bChunked) m_nContentLength = -1;
  return result;
}

HeaderResult CHTTPResponseHeader::ReadStatusLine(const std::string& text, size_t lineEnd) {
  m_strStatusLine = text.substr(0, lineEnd);
  // The blank is looked for in all the text, not only the line.
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) {
    m_strError = http_messages::kCouldNotUnderstandHeader;
    return HDR_BAD;
  }
  if (blank < m_strStatusLine.size()) m_nStatus = ReadStatusCode(m_strStatusLine, blank);
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
  } else if (name == "RETRY-AFTER") {
    // Seconds; a date is taken as no advice.
    m_nRetryAfter = ReadDecimal(TrimBlanks(value));
  }
  return true;
}

// A second line with the same number is harmless; one with another number
// leaves no way to tell which is right.
void CHTTPResponseHeader::ParseContentLength(const std::string& value) {
  const int64_t length = ReadDecimal(TrimBlanks(value));
  if (length < 0 || (m_nContentLength >= 0 && length != m_nContentLength)) m_bBadNumber = true;
  m_nContentLength = length;
}

// "bytes FIRST-LAST/TOTAL", "bytes FIRST-LAST/*" or "bytes */TOTAL". Another
// unit says nothing about bytes and is left alone; numbers in bytes that
// cannot be read make the whole header untrustworthy.
void CHTTPResponseHeader::ParseContentRange(const std::string& value) {
  const std::string text = TrimBlanks(value);
  if (Upper(text.substr(0, 5)) != "BYTES" || text.size() == 5 || (text[5] != ' ' && text[5] != '\t')) return;
  const std::string range = TrimBlanks(text.substr(6));
  const size_t slash = range.find('/');
  const std::string span = range.substr(0, slash);
  const std::string total = slash == std::string::npos ? "" : range.substr(slash + 1);
  const size_t dash = span.find('-');
  int64_t first = -1, last = -1, size = -1;
  if (span != "*") {
    if (dash == std::string::npos) {
      m_bBadNumber = true;
      return;
    }
    first = ReadDecimal(span.substr(0, dash));
    last = ReadDecimal(span.substr(dash + 1));
  }
  if (total != "*") size = ReadDecimal(total);
  if ((span != "*" && (first < 0 || last < 0)) || (total != "*" && size < 0) || (span == "*" && total == "*")) {
    m_bBadNumber = true;
    return;
  }
  m_nRangeFirst = first;
  m_nRangeLast = last;
  m_nRangeTotal = size;
}

// A part must lie inside its file and be as long as it says.
bool CHTTPResponseHeader::IsRangeConsistent() const {
  if (m_nStatus != 206 || m_nRangeFirst == -1) return true;
  if (m_nRangeFirst > m_nRangeLast) return false;
  if (m_nRangeTotal != -1 && m_nRangeLast >= m_nRangeTotal) return false;
  return m_nContentLength == -1 || m_nContentLength == m_nRangeLast - m_nRangeFirst + 1;
}

int64_t CHTTPResponseHeader::GetFileTotal() const {
  if (m_nStatus == 206) return m_nRangeTotal;
  return m_nStatus == 200 ? m_nContentLength : -1;
}

bool CHTTPResponseHeader::IsRangeSupported() const { return !m_strAcceptRanges.empty() || m_nStatus == 206; }
