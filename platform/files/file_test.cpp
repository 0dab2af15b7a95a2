#include "platform/files/file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/test_env.h"

namespace {

TEST(GetTempFileNameTest, CreatesDistinctEmptyFilesNamedLikeThePlatform) {
  testenv::ScratchDir dir;
  std::regex shape(dir.Path() + "/FFF[0-9A-F]{4}\\.TMP");
  std::set<std::string> names;
  for (int i = 0; i < 100; ++i) {
    std::string name = GetTempFileName(dir.Path(), "FFF");
    ASSERT_TRUE(std::regex_match(name, shape)) << name;
    EXPECT_TRUE(names.insert(name).second) << name;
    EXPECT_EQ("", testenv::ReadFile(name));
  }
  EXPECT_EQ(100u, testenv::ListFiles(dir.Path(), "FFF").size());
  EXPECT_EQ(0u, testenv::ListFiles(dir.Path(), "FFF0000").size());
}

TEST(GetTempFileNameTest, NamesTheFileRelativeToTheFolderGiven) {
  testenv::ScratchDir dir;
  char* saved = getcwd(nullptr, 0);
  ASSERT_EQ(0, chdir(dir.Path().c_str()));
  std::string dot = GetTempFileName(".", "FFF");
  std::string longPrefix = GetTempFileName(dir.Path() + "/", "ABCDEF");
  ASSERT_EQ(0, chdir(saved));
  free(saved);
  EXPECT_TRUE(std::regex_match(dot, std::regex("\\./FFF[0-9A-F]{4}\\.TMP"))) << dot;
  EXPECT_TRUE(std::regex_match(longPrefix, std::regex(dir.Path() + "/ABC[0-9A-F]{4}\\.TMP"))) << longPrefix;
  EXPECT_EQ("", GetTempFileName(dir.Path() + "/missing", "FFF"));
}

TEST(GetTempFileNameTest, ThreadsAtTheSameMomentGetDifferentFiles) {
  testenv::ScratchDir dir;
  std::mutex lock;
  std::set<std::string> names;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        std::string name = GetTempFileName(dir.Path(), "FFF");
        std::lock_guard<std::mutex> guard(lock);
        names.insert(name);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(200u, names.size());
  EXPECT_EQ(0u, names.count(""));
}

TEST(CFileTest, AFullDiskSurfacesFromWriteNamingTheFile) {
  CFile file;
  ASSERT_TRUE(file.Open("/dev/full", CFile::modeWrite));
  char block[4096] = {};
  try {
    file.Write(block, sizeof block);
    FAIL() << "no exception";
  } catch (const CFileException& e) {
    EXPECT_EQ("/dev/full", e.m_strFileName);
    EXPECT_EQ(std::strerror(ENOSPC), e.m_strReason);
    EXPECT_NE(std::string::npos, std::string(e.what()).find("/dev/full"));
  }
}

TEST(CFileTest, OpenModesCreateTruncateOrKeep) {
  testenv::ScratchDir dir;
  std::string path = dir.File("data.bin");
  std::string error;
  CFile file;
  EXPECT_FALSE(file.Open(path, CFile::modeRead, &error));
  EXPECT_EQ(std::strerror(ENOENT), error);

  ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
  file.Write("hello world", 11);
  file.Close();
  ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
  EXPECT_EQ(11, file.GetLength());
  file.Seek(6);
  file.Write("WORLD", 5);
  file.Seek(0);
  char buffer[32] = {};
  EXPECT_EQ(11u, file.Read(buffer, sizeof buffer));
  EXPECT_STREQ("hello WORLD", buffer);
  EXPECT_EQ(0u, file.Read(buffer, sizeof buffer));
  file.Sync();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
  EXPECT_EQ(0, file.GetLength());
  file.Abort();

  EXPECT_TRUE(CFile::Exists(path));
  CFile::Remove(path);
  EXPECT_FALSE(CFile::Exists(path));
  EXPECT_THROW(CFile::Remove(path), CFileException);
}

TEST(CFileTest, OffsetsBeyondFourGigabytes) {
  testenv::ScratchDir dir;
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("sparse"), CFile::modeCreate | CFile::modeReadWrite));
  const int64_t offset = (int64_t{1} << 32) + 5;
  file.Seek(offset);
  file.Write("x", 1);
  EXPECT_EQ(offset + 1, file.GetLength());
  file.Seek(offset);
  char c = 0;
  EXPECT_EQ(1u, file.Read(&c, 1));
  EXPECT_EQ('x', c);
}

TEST(CFileTest, ReadingAWriteOnlyFileThrows) {
  testenv::ScratchDir dir;
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("w"), CFile::modeCreate | CFile::modeWrite));
  char c;
  EXPECT_THROW(file.Read(&c, 1), CFileException);
}

}  // namespace
