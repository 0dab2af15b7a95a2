#include "http/http_response_header.h"

#include <gtest/gtest.h>

namespace {

HeaderResult ParseText(CHTTPResponseHeader& header, const std::string& text) { return header.Parse(text); }

TEST(ResponseHeader, SizeRangeSupportAndLocationAreRead) {
  CHTTPResponseHeader header;
  // As the connection hands it over: the last line keeps its CR.
  EXPECT_EQ(ParseText(header, "HTTP/1.1 200 OK\r\nContent-Length: 50001\r\nAccept-Ranges: bytes\r"), HDR_OK);
  EXPECT_EQ(header.GetStatus(), 200);
  EXPECT_EQ(header.GetContentLength(), 50001);
  EXPECT_EQ(header.m_strAcceptRanges, "Accept-Ranges: bytes\r");
  EXPECT_EQ(header.m_strStatusLine, "HTTP/1.1 200 OK\r");
  EXPECT_TRUE(header.IsRangeSupported());
}

TEST(ResponseHeader, LargeSizesAndCRAfterTheValueReadAsTheNumber) {
  CHTTPResponseHeader header;
  EXPECT_EQ(ParseText(header, "HTTP/1.1 200 OK\nContent-Length: 4294967297\r"), HDR_OK);
  EXPECT_EQ(header.GetContentLength(), 4294967297LL);
}

TEST(ResponseHeader, RangeSupportComesFromStatus206OrAnyAcceptRangesLine) {
  CHTTPResponseHeader partial;
  ParseText(partial, "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r");
  EXPECT_TRUE(partial.IsRangeSupported());
  CHTTPResponseHeader none;
  ParseText(none, "HTTP/1.1 200 OK\r\nAccept-Ranges: none\r");
  EXPECT_TRUE(none.IsRangeSupported()) << "the value is not examined";
  CHTTPResponseHeader plain;
  ParseText(plain, "HTTP/1.1 200 OK\r\nContent-Length: 10\r");
  EXPECT_FALSE(plain.IsRangeSupported());
}

TEST(ResponseHeader, NamesAreMatchedExactlyButWithoutCase) {
  CHTTPResponseHeader header;
  ParseText(header, "HTTP/1.1 200 OK\r\ncontent-LENGTH: 7\r\nContent-Length : 9\r\nX-Content-Length: 5\r");
  EXPECT_EQ(header.GetContentLength(), 7) << "a blank before the colon is another name";
  CHTTPResponseHeader blankOnly;
  ParseText(blankOnly, "HTTP/1.1 200 OK\r\nContent-Length : 9\r");
  EXPECT_EQ(blankOnly.GetContentLength(), -1);
}

TEST(ResponseHeader, ARedirectReadsOnForItsLocation) {
  CHTTPResponseHeader header;
  EXPECT_EQ(ParseText(header, "HTTP/1.1 302 Found\r\nLocation: http://h/x:y\r"), HDR_REDIRECT);
  EXPECT_EQ(header.GetLocation(), " http://h/x:y\r") << "everything after the first colon";
  for (const char* status : {"301", "303", "307", "308"}) {
    CHTTPResponseHeader other;
    EXPECT_EQ(ParseText(other, std::string("HTTP/1.1 ") + status + " X\nLocation: /a"), HDR_REDIRECT) << status;
    EXPECT_EQ(other.GetLocation(), " /a");
  }
}

TEST(ResponseHeader, StatusesWithTheirOwnTextsStopAtTheStatusLine) {
  const std::pair<const char*, HeaderResult> cases[] = {
      {"HTTP/1.1 401 Unauthorized\r", HDR_AUTH},
      {"HTTP/1.1 404 Not Found\r", HDR_NOT_FOUND},
      {"HTTP/1.1 304 Not Modified\r", HDR_NOT_MODIFIED},
  };
  for (const auto& [statusLine, result] : cases) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, std::string(statusLine) + "\nContent-Length: 12\r"), result) << statusLine;
    EXPECT_EQ(header.GetError(), statusLine);
    EXPECT_EQ(header.GetContentLength(), -1) << "later lines are not read";
  }
}

TEST(ResponseHeader, OtherErrorsAndUnfollowableRedirectsFail) {
  for (const char* status : {"300", "305", "306", "400", "403", "416", "500", "503"}) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, std::string("HTTP/1.1 ") + status + " Text\r\nContent-Range: bytes */77\r"), HDR_FAILED)
        << status;
    EXPECT_EQ(header.GetError(), std::string("HTTP/1.1 ") + status + " Text") << "without its CR";
    EXPECT_EQ(header.GetRangeTotal(), 77) << "the lines are still read";
  }
}

TEST(ResponseHeader, TextWithoutAReadableStatusIsBad) {
  const char* cases[] = {"garbage",          "",
                         "\r",               "\nHTTP/1.1 200 OK",
                         "HTTP/1.1\nServer: x y", "HTTP/1.1 abc OK\r",
                         "HTTP/1.1 4294967496 OK", "HTTP/1.1 2000 OK",
                         "HTTP/1.1 20 OK",   "HTTP/1.1 -200 OK"};
  for (const char* text : cases) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, text), HDR_BAD) << '"' << text << '"';
    EXPECT_EQ(header.GetError(), "Could not understand Header");
    EXPECT_NE(header.GetStatus(), 206);
  }
}

TEST(ResponseHeader, AStatusLineAloneIsEnough) {
  CHTTPResponseHeader header;
  EXPECT_EQ(ParseText(header, "HTTP/1.0 200 OK"), HDR_OK);
  EXPECT_EQ(header.m_strStatusLine, "HTTP/1.0 200 OK");
}

TEST(ResponseHeader, AnEmptyLineEndsTheHeader) {
  CHTTPResponseHeader header;
  ParseText(header, "HTTP/1.1 200 OK\nContent-Length: 5\n\nContent-Length: 9");
  EXPECT_EQ(header.GetContentLength(), 5);
}

TEST(ResponseHeader, InterimResponsesAreToldApart) {
  CHTTPResponseHeader header;
  EXPECT_EQ(ParseText(header, "HTTP/1.1 100 Continue\r"), HDR_INTERIM);
}

TEST(ResponseHeader, ChunkedCodingOverridesAnyContentLength) {
  CHTTPResponseHeader header;
  ParseText(header, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: gzip, Chunked\r");
  EXPECT_TRUE(header.IsChunked());
  EXPECT_EQ(header.GetContentLength(), -1);
}

// Numbers too large to hold, or not numbers, leave no way to tell which
// bytes are the file's; another unit is not about bytes at all.
TEST(ResponseHeader, ContentRangeNumbersAreReadWithTheirBounds) {
  const std::pair<const char*, HeaderResult> cases[] = {
      {"bytes 0-9/99999999999999999999", HDR_BAD},
      {"bytes 99999999999999999999-9/10", HDR_BAD},
      {"bytes 0-99999999999999999999/*", HDR_BAD},
      {"bytes 0-9", HDR_BAD},
      {"bytes -1-9/10", HDR_BAD},
      {"bytes 0x0-9/10", HDR_BAD},
      {"bytes */*", HDR_BAD},
      {"bytes", HDR_OK},
      {"items 0-9/10", HDR_OK},
      {"bytes 0-9/10", HDR_OK},
  };
  for (const auto& [value, result] : cases) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, std::string("HTTP/1.1 206 P\r\nContent-Range: ") + value + "\r"), result) << value;
  }
}

// A part must lie inside the file it names and be as long as it says.
TEST(ResponseHeader, APartThatDisagreesWithItselfIsInconsistent) {
  const std::pair<const char*, bool> cases[] = {
      {"206 P\r\nContent-Range: bytes 0-199999/100000\r\nContent-Length: 200000", false},
      {"206 P\r\nContent-Range: bytes 0-100000/100000", false},
      {"206 P\r\nContent-Range: bytes 10-9/100", false},
      {"206 P\r\nContent-Range: bytes 0-9/100\r\nContent-Length: 11", false},
      {"206 P\r\nContent-Range: bytes 0-9/100\r\nContent-Length: 10", true},
      {"206 P\r\nContent-Range: bytes 0-99/100", true},
      {"206 P\r\nContent-Range: bytes 5-5/*\r\nContent-Length: 1", true},
      {"206 P\r\nContent-Length: 10", true},
      {"200 OK\r\nContent-Range: bytes 0-199999/100000", true},
  };
  for (const auto& [text, consistent] : cases) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, std::string("HTTP/1.1 ") + text + "\r"), HDR_OK) << text;
    EXPECT_EQ(header.IsRangeConsistent(), consistent) << text;
  }
}

TEST(ResponseHeader, RetryAfterIsReadInSecondsOnly) {
  const std::pair<const char*, int64_t> cases[] = {
      {"", -1}, {"\r\nRetry-After: 120", 120}, {"\r\nRetry-After: Fri, 31 Dec 1999 23:59:59 GMT", -1}};
  for (const auto& [line, seconds] : cases) {
    CHTTPResponseHeader header;
    ParseText(header, std::string("HTTP/1.1 503 Busy") + line + "\r");
    EXPECT_EQ(header.GetRetryAfter(), seconds) << line;
  }
}

TEST(ResponseHeader, ContentRangeGivesFirstByteAndTotal) {
  CHTTPResponseHeader header;
  ParseText(header, "HTTP/1.1 206 Partial\r\nContent-Range: bytes 2147483648-4294967295/4294967296\r");
  EXPECT_EQ(header.GetRangeFirst(), 2147483648LL);
  EXPECT_EQ(header.GetRangeTotal(), 4294967296LL);
  CHTTPResponseHeader unknownTotal;
  ParseText(unknownTotal, "HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-9/*\r");
  EXPECT_EQ(unknownTotal.GetRangeFirst(), 5);
  EXPECT_EQ(unknownTotal.GetRangeTotal(), -1);
}

// A length that is not one plain decimal number cannot say where the body
// ends; the same number given twice is harmless.
TEST(ResponseHeader, ContentLengthIsOnePlainDecimalNumber) {
  const std::pair<const char*, HeaderResult> cases[] = {
      {"Content-Length: -4", HDR_BAD},
      {"Content-Length: +4", HDR_BAD},
      {"Content-Length: abc", HDR_BAD},
      {"Content-Length: 4x", HDR_BAD},
      {"Content-Length: 4 4", HDR_BAD},
      {"Content-Length:", HDR_BAD},
      {"Content-Length: 99999999999999999999", HDR_BAD},
      {"Content-Length: 4\r\nContent-Length: 5", HDR_BAD},
      {"Content-Length: 4\r\nContent-Length:\t4 ", HDR_OK},
      {"Content-Length:\t4\t", HDR_OK},
  };
  for (const auto& [lines, result] : cases) {
    CHTTPResponseHeader header;
    EXPECT_EQ(ParseText(header, std::string("HTTP/1.1 200 OK\r\n") + lines + "\r"), result) << lines;
    if (result == HDR_BAD) {
      EXPECT_EQ(header.GetError(), "Could not understand Header") << lines;
    } else {
      EXPECT_EQ(header.GetContentLength(), 4) << lines;
    }
  }
}

TEST(ResponseHeader, ValidatorsAndTheFileTotalAreRead) {
  CHTTPResponseHeader partial;
  ParseText(partial, "HTTP/1.1 206 P\r\nETag:  \"x-1\" \r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n"
                     "Content-Range: bytes 5-9/70\r\nContent-Length: 5\r");
  EXPECT_EQ(partial.GetETag(), "\"x-1\"");
  EXPECT_EQ(partial.GetLastModified(), "Mon, 01 Jan 2024 00:00:00 GMT");
  EXPECT_EQ(partial.GetFileTotal(), 70);
  CHTTPResponseHeader whole;
  ParseText(whole, "HTTP/1.1 200 OK\r\nContent-Length: 12\r");
  EXPECT_EQ(whole.GetFileTotal(), 12);
  EXPECT_EQ(whole.GetETag(), "");
  CHTTPResponseHeader unknown;
  ParseText(unknown, "HTTP/1.1 206 P\r\nContent-Range: bytes 5-9/*\r\nContent-Length: 5\r");
  EXPECT_EQ(unknown.GetFileTotal(), -1) << "a part's length is not the file's";
}

}  // namespace
