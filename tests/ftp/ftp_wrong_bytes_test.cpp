// Transfers whose bytes cannot be trusted: without a size, only the server's
// confirmation makes the data a whole file; with one, the data must match it.
// Replies past any bound are not understood. Each failure leaves neither a
// destination nor a piece.
#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/ftp_test_server.h"

namespace {

using testenv::FtpDataFault;
using testenv::FtpSessionScript;
using testenv::FtpTestServer;
using testenv::PatternBytes;

struct Case {
  const char* name;
  size_t size;
  FtpSessionScript script;
  std::string reason;  // empty: the download succeeds
};

// A 150 reply without a size, and no size from SIZE either.
FtpSessionScript Unsized() {
  FtpSessionScript script;
  script.retrReplies = {"150 Opening BINARY mode data connection."};
  script.replies["SIZE"] = {"550 Could not get file size."};
  return script;
}

FtpSessionScript Unsized(std::vector<std::string> afterData) {
  FtpSessionScript script = Unsized();
  script.afterData = std::move(afterData);
  return script;
}

FtpSessionScript Announcing(const std::string& size) {
  FtpSessionScript script;
  script.retrReplies = {"150 Opening BINARY mode data connection for file (" + size + " bytes)."};
  return script;
}

std::vector<Case> Cases() {
  FtpSessionScript reset = Unsized();
  reset.fault = FtpDataFault::kReset;
  reset.faultAt = 3000;
  FtpSessionScript controlClosed = Unsized();
  controlClosed.closeAfterData = true;
  FtpSessionScript endless;
  endless.greeting = {"220 " + std::string(70000, 'x')};
  FtpSessionScript huge;
  huge.replies["SIZE"] = {"213 99999999999999999999"};
  return {
      {"no size, confirmed with 226", 5000, Unsized({"226 Transfer complete."}), ""},
      {"no size, confirmed with 250", 5000, Unsized({"250 Closing data connection."}), ""},
      {"no size, 426 after the data", 5000, Unsized({"426 Connection closed; transfer aborted."}),
       "RETR rejected - 426 Connection closed; transfer aborted."},
      {"no size, 451 after the data", 5000, Unsized({"451 Local error in processing."}),
       "RETR rejected - 451 Local error in processing."},
      {"no size, a reset data connection", 5000, reset, "The server did not confirm the end of the transfer"},
      {"no size, the control connection closed instead of a confirmation", 5000, controlClosed,
       "The server closed the control connection"},
      {"no size, no confirmation at all", 5000, Unsized({}), "The server did not confirm the end of the transfer"},
      {"more data than the 150 reply named", 1100, Announcing("1000"), "The server sent more data than it announced"},
      {"more data than the 150 reply named, on the last of four ranges", 200000, Announcing("150000"),
       "The server sent more data than it announced"},
      {"less data than the 150 reply named", 1000, Announcing("1100"),
       "The server sent no data on three resumed connections in a row"},
      {"a reply longer than 64 KiB", 5000, endless, "Could not understand the reply: it is longer than 64 KiB"},
      {"a size beyond any file", 5000, huge, "Could not understand the reply - 213 99999999999999999999"},
  };
}

class FtpWrongBytesTest : public FtpDownloadTest {};

TEST_F(FtpWrongBytesTest, DataIsAWholeFileOnlyWhenTheServerVouchesForIt) {
  SetStallSeconds(1);
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string file = PatternBytes(c.size, 51);
    FtpTestServer server(file);
    server.SetDefaultScript(c.script);
    const Outcome outcome = Download(server.Url(), std::chrono::seconds(20));
    if (c.reason.empty()) {
      EXPECT_DOWNLOADED(outcome, file);
    } else {
      EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted(c.reason)});
      EXPECT_NE(outcome.exitCode, 0);
      EXPECT_NE(outcome.exitCode, -1) << "kestrion did not end";
      EXPECT_FALSE(outcome.outputExists);
      EXPECT_TRUE(outcome.leftovers.empty());
    }
    std::filesystem::remove(Destination());
  }
}

}  // namespace
