#include "ftp/ftp_command_socket.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ftp/ftp_messages.h"
#include "ftp/ftp_test_fakes.h"

namespace {

using Lines = std::vector<std::string>;

const Lines kLogin = {"220 ready", "331 password please", "230 logged in", "200 binary", "200 port ok"};
// Connection 1 also asks the size, here in vain.
const Lines kFirstLogin = {"220 ready", "331 password please", "230 logged in", "200 binary", "550 no size",
                           "200 port ok"};

class ReplyMachineTest : public ::testing::Test {
 protected:
  ScriptedCommandSocket& Connection(int number = 1) {
    sockets.push_back(std::make_unique<ScriptedCommandSocket>(&manager, number));
    return *sockets.back();
  }
  RecordingManager manager;
  std::vector<std::unique_ptr<ScriptedCommandSocket>> sockets;
};

TEST_F(ReplyMachineTest, NormalConversationSendsEveryCommandInOrder) {
  auto& c = Connection();
  c.m_strPath = "/f";
  c.FeedLines(kFirstLogin);
  c.FeedLines({"350 restart 100", "350 restart 0"});
  EXPECT_EQ(c.sent, (Lines{"USER anonymous", "PASS ks@k.io", "TYPE I", "SIZE /f", "PORT 127,0,0,1,4,1", "REST 100",
                           "REST 0", "RETR /f"}));
  EXPECT_EQ(c.m_nState, FTPS_RETR_SENT);
  EXPECT_TRUE(manager.aborts.empty());
}

TEST_F(ReplyMachineTest, LaterConnectionRestartsAtItsStart) {
  auto& c = Connection(2);
  c.m_nStart = 3000000000LL;
  c.m_strPath = "/pub/file.bin";
  c.FeedLines(kLogin);
  c.FeedLines({"350 ok", "350 ok"});
  EXPECT_EQ(c.sent.at(5), "REST 3000000000");
  EXPECT_EQ(c.sent.at(6), "RETR /pub/file.bin");
}

TEST_F(ReplyMachineTest, MultiLineGreetingGivesOneUser) {
  auto& c = Connection();
  c.FeedLines({"220-Welcome", "All transfers are logged.", "220-Please behave", "  indented text", "220 ready"});
  EXPECT_EQ(c.sent, Lines{"USER anonymous"});
}

TEST_F(ReplyMachineTest, LineWithoutBlankIsIgnored) {
  auto& c = Connection();
  c.FeedLines({"220"});
  EXPECT_TRUE(c.sent.empty());
  EXPECT_EQ(c.m_nState, FTPS_CONNECTED);
  c.FeedLines({"220 now"});
  EXPECT_EQ(c.sent, Lines{"USER anonymous"});
}

TEST_F(ReplyMachineTest, FourCharacterCodesAreIgnoredInEveryState) {
  auto& c = Connection();
  const Lines replies = {"220 a", "331 b", "230 c", "200 d", "213 99", "200 e", "350 f", "350 g", "150 h (10 bytes)"};
  for (const auto& reply : replies) {
    const size_t before = c.sent.size();
    const int state = c.m_nState;
    c.FeedLines({"5000 nonsense", "4210 more"});
    EXPECT_EQ(c.sent.size(), before);
    EXPECT_EQ(c.m_nState, state);
    c.FeedLines({reply});
  }
  EXPECT_TRUE(manager.aborts.empty());
  EXPECT_EQ(manager.sizes, std::vector<int64_t>{10});
}

TEST_F(ReplyMachineTest, LinesEndOnlyAtCarriageReturnLineFeed) {
  auto& c = Connection();
  c.Feed("22");
  c.Feed("0 hel");
  EXPECT_TRUE(c.sent.empty());
  c.Feed("lo\nstill the same line\r");
  EXPECT_TRUE(c.sent.empty());
  c.Feed("\n331 two lines\r\n230 in one piece\r\n");
  EXPECT_EQ(c.sent, (Lines{"USER anonymous", "PASS ks@k.io", "TYPE I"}));
}

TEST_F(ReplyMachineTest, LinesBeforeTheConnectionIsUpWaitForIt) {
  auto& c = Connection();
  c.m_nState = FTPS_IDLE;
  c.FeedLines({"220 early"});
  EXPECT_TRUE(c.sent.empty());
  c.m_nState = FTPS_CONNECTING;
  c.FeedLines({"220 early"});
  EXPECT_TRUE(c.sent.empty());
}

TEST_F(ReplyMachineTest, UserAcceptedWithoutPasswordGoesToType) {
  auto& a = Connection();
  a.FeedLines({"220 x", "230 no password needed"});
  auto& b = Connection();
  b.FeedLines({"220 x", "320 fine"});
  EXPECT_EQ(a.sent.back(), "TYPE I");
  EXPECT_EQ(b.sent.back(), "TYPE I");
}

TEST_F(ReplyMachineTest, UserNameAndPasswordAreSent) {
  auto& c = Connection();
  c.m_strUser = "alice";
  c.m_strPassword = "s3cret";
  c.FeedLines({"220 x", "331 y"});
  EXPECT_EQ(c.sent, (Lines{"USER alice", "PASS s3cret"}));
}

struct RejectedReply {
  Lines before;
  std::string reply;
  std::string message;
};

class RejectionTest : public ReplyMachineTest, public ::testing::WithParamInterface<RejectedReply> {};

// Neither connection asks the size here: the replies are the same for both.
TEST_P(RejectionTest, AbortsConnectionOneWithPrefixAndWholeLine) {
  auto& c = Connection();
  c.m_bLearnSize = false;
  c.FeedLines(GetParam().before);
  c.FeedLines({GetParam().reply});
  ASSERT_EQ(manager.aborts.size(), 1u);
  EXPECT_EQ(manager.aborts[0], GetParam().message);
}

TEST_P(RejectionTest, DropsAnyOtherConnection) {
  auto& c = Connection(3);
  c.m_nStart = 500000;
  c.FeedLines(GetParam().before);
  c.FeedLines({GetParam().reply});
  EXPECT_TRUE(manager.aborts.empty());
  EXPECT_EQ(manager.drops, std::vector<int>{3});
}

INSTANTIATE_TEST_SUITE_P(
    EveryState, RejectionTest,
    ::testing::Values(
        RejectedReply{{}, "421 Too many users", "Connect rejected - 421 Too many users"},
        RejectedReply{{}, "220 " + std::string(70000, 'x'), kReplyTooLong},
        RejectedReply{{"220 x"}, "530 Login incorrect.", "Access Denied - 530 Login incorrect."},
        RejectedReply{{"220 x"}, "500 what", "Username rejected - 500 what"},
        RejectedReply{{"220 x", "331 y"}, "530 Login incorrect.", "Password rejected - 530 Login incorrect."},
        RejectedReply{{"220 x", "331 y", "230 z"}, "504 no binary", std::string(kTypeRejected) + "504 no binary"},
        RejectedReply{{"220 x", "331 y", "230 z", "200 i"}, "500 no PORT", "PORT command Rejected - 500 no PORT"},
        RejectedReply{{"220 x", "331 y", "230 z", "200 i", "200 p", "350 r"}, "554 bad offset",
                      "REST rejected - 554 bad offset"},
        RejectedReply{{"220 x", "331 y", "230 z", "200 i", "200 p", "350 r", "350 s"}, "550 no such file",
                      "RETR rejected - 550 no such file"},
        RejectedReply{{"220 x", "331 y", "230 z", "200 i", "200 p", "350 r", "350 s", "150 go"},
                      "125 Data connection already open", "RETR rejected - 125 Data connection already open"}));

TEST_F(ReplyMachineTest, RefusedRestartProbeOnConnectionOneFetchesWholeFile) {
  auto& c = Connection();
  c.m_strPath = "/f";
  c.FeedLines(kFirstLogin);
  c.FeedLines({"502 Command not implemented."});
  EXPECT_EQ(c.sent.back(), "RETR /f");
  EXPECT_EQ(std::count(c.sent.begin(), c.sent.end(), "REST 0"), 0);
  EXPECT_FALSE(manager.m_bSplitAllowed);
  EXPECT_TRUE(manager.aborts.empty());
}

TEST_F(ReplyMachineTest, RefusedRestartProbeDropsLaterConnection) {
  auto& c = Connection(3);
  c.FeedLines(kLogin);
  c.FeedLines({"502 Command not implemented."});
  EXPECT_EQ(manager.drops, std::vector<int>{3});
  EXPECT_TRUE(manager.m_bSplitAllowed);
  EXPECT_EQ(c.sent.back(), "REST 100");
}

TEST_F(ReplyMachineTest, RestZeroAnswered501StillRetrieves) {
  auto& c = Connection();
  c.FeedLines(kFirstLogin);
  c.FeedLines({"350 ok", "501 REST 0 makes no sense"});
  EXPECT_EQ(c.sent.back(), "RETR ");
  EXPECT_TRUE(manager.aborts.empty());
}

TEST_F(ReplyMachineTest, Rest501AtANonZeroOffsetIsARejection) {
  auto& c = Connection(2);
  c.m_nStart = 250000;
  c.FeedLines(kLogin);
  c.FeedLines({"350 ok", "501 cannot"});
  EXPECT_EQ(manager.drops, std::vector<int>{2});
  EXPECT_EQ(c.sent.back(), "REST 250000");
}

TEST_F(ReplyMachineTest, FailedSendsRaiseTheirOwnMessages) {
  const std::vector<std::pair<std::string, Lines>> cases = {
      {"USER anonymous", {"220 x"}},
      {"PASS ks@k.io", {"220 x", "331 y"}},
      {"TYPE I", {"220 x", "331 y", "230 z"}},
      {"PORT 127,0,0,1,4,1", {"220 x", "331 y", "230 z", "200 i"}},
      {"REST 100", {"220 x", "331 y", "230 z", "200 i", "200 p"}},
      {"REST 0", {"220 x", "331 y", "230 z", "200 i", "200 p", "350 r"}},
      {"RETR ", {"220 x", "331 y", "230 z", "200 i", "200 p", "350 r", "350 s"}},
  };
  const Lines messages = {kSendUsernameFailed, kSendPasswordFailed, kSendTypeFailed, kSendPORTFailed,
                          kSendREST100Failed,  kSendRESTFailed,     "SendTERT() failed!"};
  for (size_t i = 0; i < cases.size(); ++i) {
    auto& c = Connection();
    c.m_bLearnSize = false;
    c.failSends.insert(cases[i].first);
    c.FeedLines(cases[i].second);
    ASSERT_EQ(manager.aborts.size(), i + 1) << cases[i].first;
    EXPECT_EQ(manager.aborts.back(), messages[i]);
  }
  auto& refused = Connection();
  refused.failSends.insert("RETR ");
  refused.FeedLines(kFirstLogin);
  refused.FeedLines({"502 no"});
  EXPECT_EQ(manager.aborts.back(), "SendRETR() failed!");
  auto& asking = Connection();
  asking.failSends.insert("SIZE ");
  asking.FeedLines({"220 x", "331 y", "230 z", "200 i"});
  EXPECT_EQ(manager.aborts.back(), "SendSIZE() failed!");
}

class TransferReplyTest : public ReplyMachineTest {
 protected:
  ScriptedCommandSocket& Transferring(int number, int64_t end, const std::string& sizeReply = "550 no size") {
    auto& c = Connection(number);
    c.m_nEnd = end;
    Lines login = kLogin;
    if (number == 1) login.insert(login.begin() + 4, sizeReply);
    c.FeedLines(login);
    c.FeedLines({"350 a", "350 b"});
    return c;
  }
};

TEST_F(TransferReplyTest, SizeIsTakenFromTheParenthesis) {
  Transferring(1, -1).FeedLines({"150 Opening data connection for a.zip (1048576 bytes)."});
  EXPECT_EQ(manager.sizes, std::vector<int64_t>{1048576});
  EXPECT_EQ(manager.m_nFileSize, 1048576);
}

TEST_F(TransferReplyTest, SizesBeyondThirtyTwoBits) {
  Transferring(1, -1).FeedLines({"150 Opening BINARY mode data connection for big.iso (3000000000 bytes)."});
  EXPECT_EQ(manager.m_nFileSize, 3000000000LL);
}

TEST_F(TransferReplyTest, NoParenthesisLeavesSizeUnknown) {
  Transferring(1, -1).FeedLines({"150 Opening data connection."});
  EXPECT_TRUE(manager.sizes.empty());
  EXPECT_EQ(manager.m_nFileSize, -1);
}

TEST_F(TransferReplyTest, ZeroBytesIsASize) {
  Transferring(1, -1).FeedLines({"150 Here it comes ( 0 bytes)"});
  EXPECT_EQ(manager.sizes, std::vector<int64_t>{0});
}

TEST_F(TransferReplyTest, OnlyConnectionOneLearnsTheSize) {
  Transferring(2, 500000).FeedLines({"150 Opening (1048576 bytes)."});
  EXPECT_TRUE(manager.sizes.empty());
}

TEST_F(TransferReplyTest, UnreadableSizeIsIgnored) {
  Transferring(1, -1).FeedLines({"150 Opening (many bytes)."});
  EXPECT_TRUE(manager.sizes.empty());
}

// The opening reply's size wins; without one, SIZE's answer counts, if it
// is a size.
TEST_F(TransferReplyTest, SizeReplyGivesTheSizeTheOpeningReplyLacks) {
  const struct {
    const char* sizeReply;
    const char* opening;
    int64_t size;
    std::string abort;
  } cases[] = {
      {"213 2000000", "150 Opening data connection.", 2000000, ""},
      {"213 2000000", "150 Opening data connection (1048576 bytes).", 1048576, ""},
      {"213 3000000000", "150 1024.0 kbytes to download", 3000000000LL, ""},
      {"213 2000000", "125 Data connection already open; transfer starting.", 2000000, ""},
      {"550 Could not get file size.", "150 Opening data connection.", -1, ""},
      {"213 unknown", "150 Opening data connection.", -1, ""},
      {"500 SIZE not understood", "125 Transfer starting.", -1, ""},
      {"213 99999999999999999999", "150 Opening data connection.", -1,
       "Could not understand the reply - 213 99999999999999999999"},
      {"213 2000", "150 Opening (99999999999999999999 bytes).", -1,
       "Could not understand the reply - 150 Opening (99999999999999999999 bytes)."},
  };
  for (const auto& c : cases) {
    RecordingManager fresh;
    ScriptedCommandSocket connection(&fresh, 1);
    Lines login = kLogin;
    login.insert(login.begin() + 4, c.sizeReply);
    connection.FeedLines(login);
    connection.FeedLines({"350 a", "350 b", c.opening});
    EXPECT_EQ(fresh.m_nFileSize, c.size) << c.sizeReply << " / " << c.opening;
    // The recording manager lets the conversation go on after an abort.
    EXPECT_EQ(fresh.aborts.empty() ? "" : fresh.aborts.front(), c.abort);
  }
}

TEST_F(TransferReplyTest, OnlyConnectionOneAsksTheSize) {
  auto& second = Transferring(2, 500000);
  EXPECT_EQ(std::count(second.sent.begin(), second.sent.end(), "SIZE "), 0);
  auto& first = Transferring(1, -1);
  EXPECT_EQ(std::count(first.sent.begin(), first.sent.end(), "SIZE "), 1);
}

TEST_F(TransferReplyTest, EndOfTransferRepliesAreIgnored) {
  auto& c = Transferring(1, -1);
  c.FeedLines({"150 go", "226 Transfer complete.", "225 No transfer to ABOR."});
  EXPECT_TRUE(manager.aborts.empty());
  EXPECT_EQ(c.m_nState, FTPS_RETR_SENT);
}

TEST_F(TransferReplyTest, TransferAbortedIsIgnoredOnlyOnABoundedRange) {
  Transferring(1, 250000).FeedLines({"150 go", "426 Transfer aborted."});
  EXPECT_TRUE(manager.aborts.empty());
  Transferring(1, -1).FeedLines({"150 go", "426 Transfer aborted."});
  EXPECT_EQ(manager.aborts, Lines{"RETR rejected - 426 Transfer aborted."});
}

// RFC 1738: the path is relative to the login folder; "/%2F" (unescaped
// already) names an absolute one.
TEST(ServerPathTest, RelativeToTheLoginFolder) {
  EXPECT_EQ(CFTPCommandSocket::ServerPath("/f1m.bin"), "f1m.bin");
  EXPECT_EQ(CFTPCommandSocket::ServerPath("/pub/x%41y.bin"), "pub/x%41y.bin");
  EXPECT_EQ(CFTPCommandSocket::ServerPath("//etc/f.bin"), "/etc/f.bin");
  EXPECT_EQ(CFTPCommandSocket::ServerPath("/"), "");
}

TEST(PortArgumentTest, AddressInCommaFormAndPortBytes) {
  EXPECT_EQ(CFTPCommandSocket::FormatPortArgument("192.168.1.5", 4660), "192,168,1,5,18,52");
  EXPECT_EQ(CFTPCommandSocket::FormatPortArgument("127.0.0.1", 65535), "127,0,0,1,255,255");
  EXPECT_EQ(CFTPCommandSocket::FormatPortArgument("10.0.0.1", 255), "10,0,0,1,0,255");
}

}  // namespace
