// Downloads that outlive the program: killed, ended by a signal or failed,
// then run again with the same command, against a real nginx throttled so
// that the end lands mid-way. nginx's log shows which bytes each run asked
// for.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "engine/download_journal.h"
#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/nginx_server.h"

namespace {

using testenv::NginxServer;

constexpr int64_t kSize = 2 << 20;
constexpr char kChanged[] = "The file changed on the server since the last attempt; starting again";
constexpr char kDamaged[] = "What the last attempt left could not be used; starting again";
constexpr char kRunAgain[] = "run the same command again to continue the download";

// The ranges of requests (last -1: an open range, of which only the start
// is known to be wanted).
struct Asked {
  int64_t first, last;
};

// The requests for /f.bin in nginx's log lines from `from` on:
// "STATUS|bytes=A-B|..." (B left out for an open range); a line with no
// range asks for the whole file.
std::vector<Asked> AskedInLog(const std::vector<std::string>& lines, size_t from) {
  std::vector<Asked> asked;
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i].find("|GET /f.bin ") == std::string::npos) continue;
    const size_t at = lines[i].find("|bytes=");
    if (at == std::string::npos) {
      asked.push_back({0, kSize - 1});
      continue;
    }
    const std::string last = lines[i].substr(lines[i].find('-', at) + 1);
    asked.push_back({std::stoll(lines[i].substr(at + 7)), last[0] == '|' ? -1 : std::stoll(last)});
  }
  return asked;
}

// Each request asks for bytes of one missing range only.
void ExpectOnlyMissingAsked(const std::vector<Asked>& asked, const CDownloadJournal& journal) {
  const std::vector<ByteRange> missing = journal.Missing();
  for (const Asked& range : asked) {
    const int64_t end = range.last == -1 ? range.first + 1 : range.last + 1;
    EXPECT_TRUE(std::any_of(missing.begin(), missing.end(),
                            [&](const ByteRange& gap) { return gap.begin <= range.first && end <= gap.end; }))
        << range.first << "-" << range.last;
  }
}

class ContinueTest : public DownloadTest {
 protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "skipped: " << NginxServer::kBinary << " is not installed";
    content = testenv::PatternBytes(kSize, 24);
    Serve(content);
  }

  // The served file, written anew (its time and so its validators change).
  void Serve(const std::string& bytes) { testenv::WriteFile(nginx->FilePath("f.bin"), bytes); }

  std::unique_ptr<testenv::KestrionProcess> Start(const std::string& url) {
    testenv::WriteFile(Path("ui.log"), "");
    return std::make_unique<testenv::KestrionProcess>(
        std::vector<std::string>{url, Path("out.bin")}, dir.Path(),
        std::map<std::string, std::string>{{"KESTRION_UI", "script"},
                                           {"KESTRION_UI_LOG", Path("ui.log")},
                                           {"KESTRION_REGISTRY", Path("registry")}});
  }

  std::optional<CDownloadJournal> Journal() {
    if (!testenv::FileExists(Path("out.bin.kestrion"))) return std::nullopt;
    return CDownloadJournal::Read(testenv::ReadFile(Path("out.bin.kestrion")));
  }

  // Waits until the journal records at least `bytes` in place.
  bool WaitForJournal(int64_t bytes) {
    for (int i = 0; i < 1000; ++i) {
      const std::optional<CDownloadJournal> journal = Journal();
      if (journal && journal->BytesDone() >= bytes) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // A run killed once the journal holds some bytes; returns how many.
  int64_t KillMidway(const std::string& name = "f.bin") {
    auto run = Start(nginx->Url(name));
    EXPECT_TRUE(WaitForJournal(256 * 1024)) << "no journal while the download ran";
    run->Signal(SIGKILL);
    run->Wait(std::chrono::seconds(10));
    WaitForQuietLog();
    const std::optional<CDownloadJournal> journal = Journal();
    return journal ? journal->BytesDone() : 0;
  }

  // nginx logs a killed run's requests once it notices their end.
  void WaitForQuietLog() {
    size_t lines = nginx->AccessLog().size();
    for (int i = 0; i < 50; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const size_t now = nginx->AccessLog().size();
      if (now == lines && i >= 2) return;
      lines = now;
    }
  }

  // A whole file, nothing else of the download left.
  void ExpectComplete(const Outcome& outcome, const std::string& bytes) {
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    ExpectFileHolds("out.bin", bytes);
    ExpectNothingLeft();
  }

  void ExpectNothingLeft() {
    ExpectNoPieces();
    EXPECT_TRUE(testenv::ListFiles(dir.Path(), "out.bin.").empty())
        << "left: " << testing::PrintToString(testenv::ListFiles(dir.Path(), "out.bin."));
  }

  std::string content;
  std::unique_ptr<NginxServer> nginx = std::make_unique<NginxServer>("limit_rate 128k;\n");
};

// kill -9 mid-way: the rerun asks only for what the journal lacks, shows the
// bytes in place from the start, and leaves nothing behind.
TEST_F(ContinueTest, AKilledDownloadGoesOnWithOnlyTheMissingBytes) {
  const int64_t kept = KillMidway();
  const std::optional<CDownloadJournal> journal = Journal();
  ASSERT_TRUE(journal);
  const size_t before = nginx->AccessLog().size();
  const Outcome outcome = Run(nginx->Url("f.bin"), Path("out.bin"));
  ExpectSuccess(outcome, "/f.bin");
  ExpectComplete(outcome, content);
  ExpectOnlyMissingAsked(AskedInLog(nginx->AccessLog(), before), *journal);
  int shown = 0;
  for (const std::string& line : testenv::LogLinesOfKind(Path("ui.log"), "window")) {
    shown = std::stoi(line.substr(line.find("\"progress\":") + 11));
    if (shown != 0) break;
  }
  EXPECT_GE(shown, kept * 100 / kSize) << "the percentage started again from 0";
}

// Ended at the very start, or with every byte in place but the final
// rename not done, or after the rename but before the journal went.
TEST_F(ContinueTest, KilledAtTheStartOrAroundTheFinalJoin) {
  {
    auto run = Start(nginx->Url("f.bin"));
    for (int i = 0; i < 500 && testenv::ListFiles(dir.Path(), "FFF").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    run->Signal(SIGKILL);
    run->Wait(std::chrono::seconds(10));
  }
  ExpectComplete(Run(nginx->Url("f.bin"), Path("out.bin")), content);

  KillMidway();
  std::optional<CDownloadJournal> journal = Journal();
  ASSERT_TRUE(journal);
  // Every byte in place and synced, the rename not yet made.
  testenv::WriteFile(Path(journal->m_strPartName), content);
  journal->m_done = {{0, kSize}};
  testenv::WriteFile(Path("out.bin.kestrion"), journal->Write());
  const size_t before = nginx->AccessLog().size();
  ExpectComplete(Run(nginx->Url("f.bin"), Path("out.bin")), content);
  const std::vector<Asked> asked = AskedInLog(nginx->AccessLog(), before);
  ASSERT_EQ(asked.size(), 1u) << "only the last byte, for the check";
  EXPECT_EQ(asked[0].first, kSize - 1);

  // Renamed into place, the journal not yet removed.
  testenv::WriteFile(Path("out.bin.kestrion"), journal->Write());
  const Outcome outcome = Run(nginx->Url("f.bin"), Path("out.bin"));
  EXPECT_EQ(outcome.messages.front(), kDamaged);
  ExpectComplete(outcome, content);
}

// The journal names the URL the bytes came from: the rerun of a command
// whose URL redirects there goes on when the followed URL shows the same
// file, and starts again when it shows another.
TEST_F(ContinueTest, AKilledDownloadGoesOnBehindARedirect) {
  nginx = std::make_unique<NginxServer>("limit_rate 128k;\nlocation = /go { return 302 /f.bin; }\n");
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "changed behind the redirect" : "the same file");
    Serve(content);
    ASSERT_GT(KillMidway("go"), 0);
    const std::optional<CDownloadJournal> journal = Journal();
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->m_strURL, nginx->Url("f.bin"));
    const std::string served = changed ? testenv::PatternBytes(kSize, 99) : content;
    if (changed) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new second for Last-Modified
      Serve(served);
    }
    const size_t before = nginx->AccessLog().size();
    const Outcome outcome = Run(nginx->Url("go"), Path("out.bin"));
    ExpectComplete(outcome, served);
    if (changed) {
      EXPECT_EQ(outcome.messages.front(), kChanged);
    } else {
      ExpectSuccess(outcome, "/f.bin");
      ExpectOnlyMissingAsked(AskedInLog(nginx->AccessLog(), before), *journal);
    }
    std::filesystem::remove(Path("out.bin"));
  }
}

// A file that is not the one the bytes came from starts again from 0.
TEST_F(ContinueTest, AFileChangedOnTheServerStartsAgain) {
  struct Case {
    const char* name;
    const char* directives;
    bool keepTime;
    int64_t size;
  };
  const Case cases[] = {
      {"ETag and Last-Modified", "limit_rate 128k;\n", false, kSize},
      {"Last-Modified alone", "limit_rate 128k;\netag off;\n", false, kSize},
      {"size alone", "limit_rate 128k;\netag off;\n", true, kSize + 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nginx = std::make_unique<NginxServer>(c.directives);
    Serve(content);
    const auto time = std::filesystem::last_write_time(nginx->FilePath("f.bin"));
    ASSERT_GT(KillMidway(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new second for Last-Modified
    const std::string changed = testenv::PatternBytes(static_cast<size_t>(c.size), 99);
    Serve(changed);
    if (c.keepTime) std::filesystem::last_write_time(nginx->FilePath("f.bin"), time);
    const size_t before = nginx->AccessLog().size();
    const Outcome outcome = Run(nginx->Url("f.bin"), Path("out.bin"));
    ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
    EXPECT_EQ(outcome.messages[0], kChanged);
    ExpectComplete(outcome, changed);
    const std::vector<Asked> asked = AskedInLog(nginx->AccessLog(), before);
    EXPECT_TRUE(std::any_of(asked.begin(), asked.end(), [](const Asked& range) { return range.first == 0; }));
    std::filesystem::remove(Path("out.bin"));
  }
}

// A journal or new file that cannot be trusted never lends a byte.
TEST_F(ContinueTest, ADamagedJournalOrNewFileStartsAgain) {
  const std::vector<std::pair<const char*, void (*)(const std::string&, const CDownloadJournal&)>> cases = {
      {"journal cut short",
       [](const std::string& dir, const CDownloadJournal& j) {
         testenv::WriteFile(dir + "/out.bin.kestrion", j.Write().substr(0, 60));
       }},
      {"journal garbled",
       [](const std::string& dir, const CDownloadJournal& j) {
         std::string text = j.Write();
         text[text.find("done ") + 5] ^= 1;
         testenv::WriteFile(dir + "/out.bin.kestrion", text);
       }},
      {"new file cut short",
       [](const std::string& dir, const CDownloadJournal& j) {
         std::filesystem::resize_file(dir + "/" + j.m_strPartName, 10);
       }},
      {"new file gone", [](const std::string& dir, const CDownloadJournal& j) {
         std::filesystem::remove(dir + "/" + j.m_strPartName);
       }}};
  for (const auto& [name, spoil] : cases) {
    SCOPED_TRACE(name);
    ASSERT_GT(KillMidway(), 0);
    const std::optional<CDownloadJournal> journal = Journal();
    ASSERT_TRUE(journal);
    // Wrong bytes where the journal says good ones are: only a fresh start
    // can give the right file.
    std::filesystem::resize_file(Path(journal->m_strPartName), 0);
    std::filesystem::resize_file(Path(journal->m_strPartName), kSize);
    spoil(dir.Path(), *journal);
    const Outcome outcome = Run(nginx->Url("f.bin"), Path("out.bin"));
    EXPECT_EQ(outcome.messages.front(), kDamaged);
    ExpectComplete(outcome, content);
    for (const std::string& part : testenv::ListFiles(dir.Path(), "out.bin.part")) std::filesystem::remove(Path(part));
    std::filesystem::remove(Path("out.bin"));
  }
}

// Ctrl-C means it: nothing stays. SIGTERM and SIGHUP keep what came, say
// so, and the rerun finishes it.
TEST_F(ContinueTest, SignalsKeepOrRemoveWhatCame) {
  const std::pair<int, int> cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto& [signal, status] : cases) {
    SCOPED_TRACE(signal);
    auto run = Start(nginx->Url("f.bin"));
    ASSERT_TRUE(WaitForJournal(256 * 1024));
    run->Signal(signal);
    const testenv::RunResult result = run->Wait(std::chrono::seconds(15));
    WaitForQuietLog();
    EXPECT_EQ(result.exitCode, status) << result.output;
    ExpectNoPieces();
    if (signal == SIGINT) {
      ExpectNothingLeft();
      EXPECT_EQ(result.output.find(kRunAgain), std::string::npos);
      continue;
    }
    EXPECT_NE(result.output.find(kRunAgain), std::string::npos) << result.output;
    const std::optional<CDownloadJournal> journal = Journal();
    ASSERT_TRUE(journal) << "SIGTERM and SIGHUP keep the journal";
    const size_t before = nginx->AccessLog().size();
    ExpectComplete(Run(nginx->Url("f.bin"), Path("out.bin")), content);
    ExpectOnlyMissingAsked(AskedInLog(nginx->AccessLog(), before), *journal);
    std::filesystem::remove(Path("out.bin"));
  }
}

// A server that stops sending: the failure's message as ever, one more line
// on the console, and the rerun fetches the rest.
TEST_F(ContinueTest, ANetworkFailureKeepsWhatCame) {
  testenv::HttpTestServer server(content);
  std::atomic<bool> failing{true};
  server.SetHandler([&failing](const testenv::HttpRequest& request) {
    testenv::HttpReply reply;
    if (failing) {
      reply.endAfter = request.index < 4 ? 100000 : 0;
      reply.end = testenv::HttpReply::End::kReset;
    }
    return reply;
  });
  SetStallSeconds(5);
  const Outcome failed = Run(server.URL(), Path("out.bin"));
  ASSERT_EQ(failed.messages.size(), 1u) << failed.output;
  EXPECT_EQ(failed.messages[0].rfind("Download Aborted. (Reason=", 0), 0u) << failed.messages[0];
  EXPECT_NE(failed.output.find(kRunAgain), std::string::npos) << failed.output;
  ExpectNoPieces();
  const std::optional<CDownloadJournal> journal = Journal();
  ASSERT_TRUE(journal);
  EXPECT_GE(journal->BytesDone(), 4 * 100000);
  failing = false;
  const size_t before = server.Requests().size();
  ExpectComplete(Run(server.URL(), Path("out.bin")), content);
  std::vector<Asked> asked;
  const std::vector<testenv::HttpRequest> requests = server.Requests();
  for (size_t i = before; i < requests.size(); ++i) asked.push_back({requests[i].rangeStart, requests[i].rangeEnd});
  ExpectOnlyMissingAsked(asked, *journal);
}

// Killed as the last bytes arrive: before the rename, between the rename
// and the journal's removal, or after both. Whichever it was, the rerun
// ends with the whole file and nothing else.
TEST_F(ContinueTest, KilledInsideTheFinalJoin) {
  // Each connection's share fits in nginx's first second, sent at once: the
  // log's fourth line comes as the last connection ends and the join begins.
  nginx = std::make_unique<NginxServer>("limit_rate 512k;\n");
  Serve(content);
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(0, 12);
  std::map<std::string, int> hit;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    const size_t before = nginx->AccessLog().size();
    auto run = Start(nginx->Url("f.bin"));
    for (int i = 0; i < 5000 && nginx->AccessLog().size() < before + 4; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    run->Signal(SIGKILL);
    run->Wait(std::chrono::seconds(10));
    const std::optional<CDownloadJournal> journal = Journal();
    if (!testenv::FileExists(Path("out.bin")))
      ++hit[journal && testenv::ReadFile(Path(journal->m_strPartName)) == content ? "before the rename"
                                                                                    : "before the last bytes"];
    else
      ++hit[journal ? "between the rename and the journal's removal" : "after both"];
    ExpectComplete(Run(nginx->Url("f.bin"), Path("out.bin")), content);
    std::filesystem::remove(Path("out.bin"));
  }
  std::cout << "killed: " << testing::PrintToString(hit) << "\n";
}

// Killed again and again at random moments, the download still ends with
// the right bytes and nothing else.
TEST_F(ContinueTest, RandomKillsUntilTheFileIsWhole) {
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(20, 1500);
  for (int kill = 0; kill < 6 && !testenv::FileExists(Path("out.bin")); ++kill) {
    auto run = Start(nginx->Url("f.bin"));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    run->Signal(SIGKILL);
    run->Wait(std::chrono::seconds(10));
  }
  // Pieces of a run killed a moment ago may still be young and empty.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const Outcome outcome = Run(nginx->Url("f.bin"), Path("out.bin"));
  ExpectComplete(outcome, content);
}

}  // namespace
