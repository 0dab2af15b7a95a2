#include <algorithm>

#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/loopback.h"

namespace {

using testenv::FtpDataFault;
using testenv::FtpSessionScript;
using testenv::FtpTestServer;
using testenv::PatternBytes;
using namespace std::chrono_literals;

int CountCommands(const std::vector<std::string>& commands, const std::string& prefix) {
  return static_cast<int>(std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
    return line.compare(0, prefix.size(), prefix) == 0;
  }));
}

class FtpConversationTest : public FtpDownloadTest {};

TEST_F(FtpConversationTest, MultiLineGreetingGetsOneUser) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.greeting = {"220-Welcome", "220-Please behave", "220 ready"};
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  EXPECT_EQ(CountCommands(server.Commands(1), "USER"), 1);
}

TEST_F(FtpConversationTest, LinesWithoutAThreeCharacterCodeArePassedOver) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.greeting = {"220", "2200 almost", "220 ready"};
  script.replies["USER"] = {"3310 not yet", "331", "331 Password please."};
  script.replies["PASS"] = {"2300 wait", "230 Logged in."};
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  const auto commands = server.Commands(1);
  EXPECT_EQ(CountCommands(commands, "USER"), 1);
  EXPECT_EQ(CountCommands(commands, "PASS"), 1);
}

TEST_F(FtpConversationTest, AnonymousLoginAndTheWholeConversation) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  const auto commands = server.Commands(1);
  ASSERT_EQ(commands.size(), 8u);
  EXPECT_EQ(commands[0], "USER anonymous");
  EXPECT_EQ(commands[1], "PASS ks@k.io");
  EXPECT_EQ(commands[2], "TYPE I");
  EXPECT_EQ(commands[3], "SIZE file.bin");
  EXPECT_EQ(commands[4].compare(0, 5, "PORT "), 0);
  EXPECT_EQ(commands[5], "REST 100");
  EXPECT_EQ(commands[6], "REST 0");
  EXPECT_EQ(commands[7], "RETR file.bin");
}

// The command line is unescaped once, two hex digits to a byte; the path
// then goes to the server as it reads, relative to the login folder.
TEST_F(FtpConversationTest, EscapesInThePathReachTheServerDecoded) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  const std::string path = "/dir%20x/report%202024%2B%3F-caf%C3%A9-100%.bin";
  const Outcome outcome = Download(server.Url(path));
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(server.FindCommand(1, "RETR"), "RETR dir x/report 2024+?-caf\xC3\xA9-100%.bin");
}

TEST_F(FtpConversationTest, UserAndPasswordFromTheUrl) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.user = "alice";
  script.password = "s3cret";
  server.SetDefaultScript(script);
  const Outcome outcome = Download("ftp://alice:s3cret@" + testenv::kServerHost + ":" + std::to_string(server.Port()) + "/file.bin");
  EXPECT_DOWNLOADED(outcome, file);
  EXPECT_EQ(server.FindCommand(1, "USER"), "USER alice");
  EXPECT_EQ(server.FindCommand(1, "PASS"), "PASS s3cret");
}

TEST_F(FtpConversationTest, PortNamesTheControlAddressAndTheListeningPort) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  unsigned h[4], p[2];
  ASSERT_EQ(sscanf(server.FindCommand(1, "PORT").c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0],
                   &p[1]),
            6);
  const std::string host = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." +
                           std::to_string(h[3]);
  const std::string named = host + ":" + std::to_string(p[0] * 256 + p[1]);
  const std::string control = server.ControlPeer(1);
  EXPECT_EQ(control.substr(0, control.find(':')), host);
  EXPECT_NE(named, control);
  EXPECT_EQ(server.DataTarget(1), named);
}

// Over IPv6, where PORT cannot name the address, the data port is offered
// with EPRT, on the control connection's address.
TEST_F(FtpConversationTest, OverIPv6TheDataPortIsOfferedWithEPRT) {
  const std::string file = PatternBytes(300000, 5);
  FtpTestServer server(file, true);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 4);
  for (int session = 1; session <= 4; ++session) {
    SCOPED_TRACE(session);
    EXPECT_EQ(server.FindCommand(session, "PORT"), "");
    const std::string eprt = server.FindCommand(session, "EPRT");
    EXPECT_EQ(eprt.rfind("EPRT |2|::1|", 0), 0u) << eprt;
    EXPECT_EQ(server.DataTarget(session), "[::1]:" + eprt.substr(12, eprt.size() - 13));
  }
}

// Only the server may connect to the data port: it listens on the control
// connection's address alone, and anyone else's connection is closed at
// once, before a byte of it counts.
TEST_F(FtpConversationTest, OnlyTheServerMayConnectToTheDataPort) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.intruder = true;
  server.SetDefaultScript(script);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  const FtpTestServer::IntruderOutcome intruder = server.Intruder(1);
  EXPECT_TRUE(intruder.closedAtOnce);
  EXPECT_TRUE(intruder.refusedElsewhere);
}

// Data connections must come from the server's address, which here is not
// the client's own.
TEST_F(FtpConversationTest, DataFromAServerOnAnotherAddressIsTaken) {
  const std::string file = PatternBytes(300000, 7);
  FtpTestServer server(file);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  EXPECT_EQ(server.SessionCount(), 4);
  const std::string client = server.ControlPeer(1);
  ASSERT_EQ(client.substr(0, client.find(":")), "127.0.0.1") << client;
}

// Whichever comes first, the end of the data or the opening reply that
// names the size, the download ends as soon as both are in (the stall limit
// stays at its 60 s).
TEST_F(FtpConversationTest, DataThatEndsBeforeTheOpeningReplyFinishesAtOnce) {
  const std::string file = PatternBytes(5000, 8);
  const std::vector<std::string> openings[] = {
      {"150 Opening BINARY mode data connection for file (%SIZE% bytes)."},
      {"150-Opening BINARY mode data connection", "150 for file (%SIZE% bytes)."},
      {"150 Opening BINARY mode data connection."},
  };
  for (const auto& opening : openings) {
    SCOPED_TRACE(opening.back());
    FtpTestServer server(file);
    FtpSessionScript script;
    script.retrReplies = opening;
    script.dataBeforeOpening = true;
    server.SetDefaultScript(script);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_DOWNLOADED(Download(server.Url(), 15s), file);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    std::filesystem::remove(Destination());
  }
}

// A login that hears nothing after USER (as pyftpdlib loses one now and
// then) is given up after 10 s, not the stall limit, and replaced.
TEST_F(FtpConversationTest, LoginThatHearsNothingIsReplacedAfterTenSeconds) {
  const std::string file = PatternBytes(300000, 9);
  FtpTestServer server(file);
  FtpSessionScript silent;
  silent.replies["USER"] = {};
  server.SetScript(2, silent);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_DOWNLOADED(Download(server.Url(), 40s), file);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 10s);
  EXPECT_LT(took, 20s);
  ASSERT_EQ(server.SessionCount(), 5);
  EXPECT_EQ(server.FindCommand(5, "REST 7"), "REST 75000");
}

TEST_F(FtpConversationTest, AccessDeniedToUserAbortsWithTheReply) {
  FtpTestServer server(PatternBytes(5000));
  FtpSessionScript script;
  script.user = "bob";
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted("Access Denied - 530 Login incorrect.")});
  EXPECT_FALSE(outcome.outputExists);
  EXPECT_TRUE(outcome.leftovers.empty());
}

TEST_F(FtpConversationTest, RefusedRestartProbeOnConnectionOneFetchesOnOneConnection) {
  const std::string file = PatternBytes(300000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.replies["REST 100"] = {"502 Command not implemented."};
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  EXPECT_EQ(server.SessionCount(), 1);
  const auto commands = server.Commands(1);
  EXPECT_EQ(CountCommands(commands, "REST"), 1);
  EXPECT_EQ(CountCommands(commands, "RETR"), 1);
}

// Connection 2 holds its data until connection 3 is gone, so it is still
// reading when it takes over connection 3's range.
TEST_F(FtpConversationTest, RefusedRestartProbeOnConnectionThreeExtendsConnectionTwo) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  FtpSessionScript refusing;
  refusing.replies["REST 100"] = {"502 Command not implemented."};
  server.SetScript(3, refusing);
  FtpSessionScript waiting;
  waiting.beforeData = [&server] { server.WaitForSessionEnd(3, 10s); };
  server.SetScript(2, waiting);
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, file);
  EXPECT_EQ(server.SessionCount(), 4);
  EXPECT_EQ(server.FindCommand(3, "RETR"), "");
  EXPECT_EQ(server.FindCommand(2, "REST 2"), "REST 250000");
  EXPECT_GE(server.DataSent(2), 500000);
}

TEST_F(FtpConversationTest, RestZeroAnswered501IsFollowedByRetr) {
  const std::string file = PatternBytes(5000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.replies["REST 0"] = {"501 Restarting at 0 is pointless."};
  server.SetDefaultScript(script);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  EXPECT_EQ(server.FindCommand(1, "RETR"), "RETR file.bin");
}

TEST_F(FtpConversationTest, NoSizeFromEitherReplyRunsOnOneConnection) {
  const std::string file = PatternBytes(300000);
  FtpTestServer server(file);
  FtpSessionScript script;
  script.retrReplies = {"150 Opening BINARY mode data connection."};
  script.replies["SIZE"] = {"550 Could not get file size."};
  server.SetDefaultScript(script);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  EXPECT_EQ(server.SessionCount(), 1);
  EXPECT_EQ(server.FindCommand(1, "ABOR"), "");
}

// Servers whose opening reply names no size (pure-ftpd: "150 1024.0 kbytes
// to download"), or that open with 125 because they connected at PORT time
// (pyftpdlib): SIZE gives the size, and the file is split as ever.
TEST_F(FtpConversationTest, SizeFromSIZEWhenTheOpeningReplyNamesNone) {
  const std::string file = PatternBytes(300000, 3);
  for (const std::string opening : {"150 292.9 kbytes to download", "125 Data connection already open."}) {
    SCOPED_TRACE(opening);
    FtpTestServer server(file);
    FtpSessionScript script;
    script.retrReplies = {opening};
    server.SetDefaultScript(script);
    EXPECT_DOWNLOADED(Download(server.Url()), file);
    EXPECT_EQ(server.SessionCount(), 4);
    EXPECT_EQ(server.FindCommand(1, "SIZE"), "SIZE file.bin");
    EXPECT_EQ(server.FindCommand(2, "SIZE"), "") << "only connection 1 asks";
    std::filesystem::remove(Destination());
  }
}

TEST_F(FtpConversationTest, EmptyFileOfZeroBytes) {
  FtpTestServer server("");
  const Outcome outcome = Download(server.Url());
  EXPECT_DOWNLOADED(outcome, "");
  EXPECT_TRUE(outcome.outputExists);
}

TEST_F(FtpConversationTest, ReplyOtherThanTheOpeningDuringTheTransferAborts) {
  FtpTestServer server(PatternBytes(5000));
  FtpSessionScript script;
  script.retrReplies = {"150 Opening (%SIZE% bytes).", "125 Data connection already open; transfer starting."};
  script.beforeData = [] { std::this_thread::sleep_for(300ms); };
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages,
            std::vector<std::string>{Aborted("RETR rejected - 125 Data connection already open; transfer starting.")});
  EXPECT_TRUE(outcome.leftovers.empty());
}

TEST_F(FtpConversationTest, TransferAbortedAfterAborIsIgnoredOnBoundedRanges) {
  const std::string file = PatternBytes(200000);
  FtpTestServer server(file);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 4);
  for (int session = 1; session <= 3; ++session) EXPECT_EQ(server.FindCommand(session, "ABOR"), "ABOR");
  EXPECT_EQ(server.FindCommand(4, "ABOR"), "");
}

TEST_F(FtpConversationTest, TransferAbortedOnTheOpenRangeIsAFailure) {
  FtpTestServer server(PatternBytes(50000));
  FtpSessionScript script;
  script.fault = FtpDataFault::kStall;
  script.faultAt = 20000;
  script.afterData = {"426 Failure writing network stream."};
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted("RETR rejected - 426 Failure writing network stream.")});
  EXPECT_FALSE(outcome.outputExists);
  EXPECT_TRUE(outcome.leftovers.empty());
}

TEST_F(FtpConversationTest, OneHundredThousandBytesOnOneConnection) {
  const std::string file = PatternBytes(100000);
  FtpTestServer server(file);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  EXPECT_EQ(server.SessionCount(), 1);
}

TEST_F(FtpConversationTest, OneByteMoreIsSplitIntoFour) {
  const std::string file = PatternBytes(100001);
  FtpTestServer server(file);
  EXPECT_DOWNLOADED(Download(server.Url()), file);

  ASSERT_EQ(server.SessionCount(), 4);
  EXPECT_EQ(server.FindCommand(2, "REST 2"), "REST 25000");
  EXPECT_EQ(server.FindCommand(3, "REST 5"), "REST 50000");
  EXPECT_EQ(server.FindCommand(4, "REST 7"), "REST 75000");
}

}  // namespace
