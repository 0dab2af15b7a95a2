#pragma once

#include <cstdint>
#include <string>

// Header results of CHTTPResponseHeader::Parse.
enum HeaderResult : int {
  HDR_OK = 0,            // the body is file data
  HDR_BAD = 1,           // no status line could be read; m_strError says why
  HDR_REDIRECT = 2,      // 301, 302, 303, 307, 308: follow m_strLocation
  HDR_NOT_FOUND = 3,     // 404
  HDR_AUTH = 5,          // 401
  HDR_NOT_MODIFIED = 6,  // 304
  HDR_FAILED = 7,        // any other error status; m_strError holds the status line
  HDR_INTERIM = 8,       // 1xx: the real response follows
};

// The facts one HTTP response header gives the download: status class, size,
// redirect target, range support and the body's transfer coding. Pure text
// work; the connection that holds it does all input and output.
class CHTTPResponseHeader {
 public:
  // The header text up to, not including, the empty line that ends it.
  HeaderResult Parse(const std::string& text);
  // False when the line has no colon.
  bool ParseLine(const std::string& line);
  // Accept-Ranges present (whatever its value) or status 206.
  bool IsRangeSupported() const;

  const std::string& GetError() const { return m_strError; }
  const std::string& GetLocation() const { return m_strLocation; }
  int64_t GetContentLength() const { return m_nContentLength; }
  int GetStatus() const { return m_nStatus; }
  bool IsChunked() const { return m_bChunked; }
  // From "Content-Range: bytes FIRST-LAST/TOTAL"; -1 when absent or "*".
  int64_t GetRangeFirst() const { return m_nRangeFirst; }
  int64_t GetRangeTotal() const { return m_nRangeTotal; }
  // A 206's Content-Range agrees with itself and with the Content-Length:
  // its first byte is not past its last, its last is before its total, and
  // the length is the range's. True for any other response.
  bool IsRangeConsistent() const;
  // The size of the whole file as this response gives it: the Content-Range
  // total of a 206, the Content-Length of a 200; -1 when it says none.
  int64_t GetFileTotal() const;
  // The values of the ETag and Last-Modified lines, blanks trimmed; empty
  // when absent.
  const std::string& GetETag() const { return m_strETag; }
  const std::string& GetLastModified() const { return m_strLastModified; }
  // The seconds a Retry-After line asks to wait; -1 without one (or with a
  // date instead).
  int64_t GetRetryAfter() const { return m_nRetryAfter; }

  std::string m_strError;
  int m_nStatus = 0;  // 0 until a status code has been read
  std::string m_strRaw;
  std::string m_strStatusLine;  // without its LF; a CR before the LF stays
  std::string m_strContentLengthLine;
  std::string m_strAcceptRanges;
  std::string m_strLocation;  // text after the first colon, leading blank included
  int64_t m_nContentLength = -1;

 private:
  // The status line is the text up to lineEnd (npos: all of it).
  HeaderResult ReadStatusLine(const std::string& text, size_t lineEnd);
  HeaderResult ClassifyStatus();
  void ParseContentRange(const std::string& value);
  void ParseContentLength(const std::string& value);

  bool m_bChunked = false;
  // A Content-Length or Content-Range number that is not one plain decimal
  // number small enough to hold, or two lengths that differ.
  bool m_bBadNumber = false;
  std::string m_strETag;
  std::string m_strLastModified;
  int64_t m_nRangeFirst = -1;
  int64_t m_nRangeLast = -1;
  int64_t m_nRangeTotal = -1;
  int64_t m_nRetryAfter = -1;
};
