#include "platform/urlmon/find_mime.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/com/wide_text.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"

namespace {

TEST(FindMimeTest, TypeComesFromTheExtensionsContentType) {
  testenv::ScratchDir dir;
  setenv("KESTRION_REGISTRY", dir.File("registry").c_str(), 1);
  testenv::SetRegistryString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-zip-compressed");
  testenv::SetRegistryString(HKEY_CLASSES_ROOT, ".gz", "", "no content type");
  const struct {
    const char16_t* url;
    const char* type;
  } cases[] = {
      {u"http://h/a.zip", "application/x-zip-compressed"},
      {u"http://h/A.ZIP?name=b.gz#top", "application/x-zip-compressed"},
      {u"ftp://h\\dir\\a.zip", "application/x-zip-compressed"},
      {u"http://h/a.gz", ""},
      {u"http://h/a.tar", ""},
      {u"http://h/dir.zip/file", ""},
      {u"http://h/a.", ""},
      {u"http://h/", ""},
  };
  for (const auto& c : cases) {
    char16_t* type = reinterpret_cast<char16_t*>(1);
    const HRESULT hr = FindMimeFromData(nullptr, c.url, nullptr, 0, nullptr, 0, &type, 0);
    EXPECT_EQ(*c.type ? S_OK : E_FAIL, hr) << Utf8FromWide(c.url);
    EXPECT_EQ(c.type, Utf8FromWide(type)) << Utf8FromWide(c.url);
    CoTaskMemFree(type);
  }
  EXPECT_EQ(E_INVALIDARG, FindMimeFromData(nullptr, u"http://h/a.zip", nullptr, 0, nullptr, 0, nullptr, 0));
  unsetenv("KESTRION_REGISTRY");
}

}  // namespace
