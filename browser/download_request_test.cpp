#include "browser/download_request.h"

#include <gtest/gtest.h>

#include "browser/json_object.h"

namespace {

TEST(DownloadRequestTest, TakesWhatEachBrowserSends) {
  const struct {
    const char* message;
    const char* url;
    const char* filename;
    int64_t size;
    const char* folder;  // the browser's download folder
  } cases[] = {
      // Chromium: no file name yet, the size known.
      {R"({"url":"http://h/a.zip","mime":"application/zip","filename":"","referrer":"http://h/","size":800000})",
       "http://h/a.zip", "", 800000, ""},
      // Firefox: the path it writes, no size.
      {R"( { "url" : "http:\/\/h\/a%20b.zip" , "filename":"/home/u/Downloads/a b.zip", "size": -1 } )",
       "http://h/a%20b.zip", "/home/u/Downloads/a b.zip", -1, "/home/u/Downloads"},
      {R"({"url":"http://h/\u00e9\ud83d\ude00.zip","filename":"/a.zip","x":true,"y":null})",
       "http://h/\xc3\xa9\xf0\x9f\x98\x80.zip", "/a.zip", -1, "/"},
      {"{\"url\":\"http://h/\xc3\xa9.zip\",\"filename\":\"a.zip\",\"size\":0e3}", "http://h/\xc3\xa9.zip", "a.zip", 0,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::string problem;
    const auto request = DownloadRequest::FromMessage(c.message, &problem);
    ASSERT_TRUE(request) << problem;
    EXPECT_EQ(c.url, request->url);
    EXPECT_EQ(c.filename, request->filename);
    EXPECT_EQ(c.size, request->size);
    EXPECT_EQ(c.folder, request->BrowserFolder());
  }
}

TEST(DownloadRequestTest, RefusesAnythingElseAndSaysWhy) {
  const char* const notAnObject = "The message is not a JSON object of strings and numbers.";
  const struct {
    std::string message;
    const char* problem;
  } cases[] = {
      {"", notAnObject},
      {"[]", notAnObject},
      {"{", notAnObject},
      {R"({"url":"http://h/a.zip"} x)", notAnObject},
      {R"({"url":"http://h/a.zip",})", notAnObject},
      {R"({"url":{"a":1}})", notAnObject},
      {R"({"url":"a","url":"b"})", notAnObject},
      {R"({"url":"\ud800"})", notAnObject},
      {R"({"url":"\udc00\ud800"})", notAnObject},
      {R"({"url":"\x"})", notAnObject},
      {"{\"url\":\"\xff\"}", notAnObject},
      {"{\"url\":\"\xc0\xaf\"}", notAnObject},
      {"{\"url\":\"\xed\xa0\x80\"}", notAnObject},
      {"{\"url\":\"\xe2\x82\"}", notAnObject},
      {"{\"url\":\"a\tb\"}", notAnObject},
      {R"({"url":"a","size":01})", notAnObject},
      {R"({"url":"a","size":1.})", notAnObject},
      {R"({"url":"a","size":-})", notAnObject},
      {R"({"url":"a","size":1e999})", notAnObject},
      {std::string("{\"url\":\"a\"}\0", 12), notAnObject},
      {R"({"mime":"application/zip"})", "The message has no url."},
      {R"({"url":7})", "The message's \"url\" is not a string."},
      {R"({"url":"a","referrer":null})", "The message's \"referrer\" is not a string."},
      {R"({"url":"a","size":"12"})", "The message's \"size\" is not a whole number of -1 or more."},
      {R"({"url":"a","size":1.5})", "The message's \"size\" is not a whole number of -1 or more."},
      {R"({"url":"a","size":-2})", "The message's \"size\" is not a whole number of -1 or more."},
      {R"({"url":"a","size":1e300})", "The message's \"size\" is not a whole number of -1 or more."},
      {R"({"url":""})", "The url is empty or holds control characters."},
      {R"({"url":"http://h/a.zip\n--x"})", "The url is empty or holds control characters."},
      {R"({"url":"http://h/a\u0000.zip"})", "The url is empty or holds control characters."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::string problem;
    EXPECT_FALSE(DownloadRequest::FromMessage(c.message, &problem));
    EXPECT_EQ(c.problem, problem);
  }
  EXPECT_EQ(R"("a\"b\\c\u000a\u001f/é")", JsonQuoted("a\"b\\c\n\x1f/é"));
}

}  // namespace
