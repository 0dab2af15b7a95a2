#include "platform/file_receiver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/test_env.h"

namespace {

// Both ends of a loopback TCP connection; the receiving end does not block.
class LoopbackPair {
 public:
  LoopbackPair() {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_sender = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(connect(m_sender, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    m_receiver = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    close(listener);
  }
  ~LoopbackPair() {
    if (m_sender >= 0) close(m_sender);
    close(m_receiver);
  }
  void Send(const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t count = send(m_sender, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      ASSERT_GT(count, 0);
      sent += static_cast<size_t>(count);
    }
  }
  void CloseSender() {
    close(m_sender);
    m_sender = -1;
  }
  int Receiver() const { return m_receiver; }

 private:
  int m_sender = -1;
  int m_receiver = -1;
};

// Takes `wanted` bytes in as many moves as it needs.
int64_t ReceiveAll(CFileReceiver& receiver, int fd, CFile& file, int64_t wanted) {
  int64_t total = 0;
  for (int tries = 0; total < wanted && tries < 100000; ++tries) {
    const int64_t moved = receiver.Receive(fd, file, wanted - total);
    if (moved == 0) break;
    if (moved > 0) total += moved;
  }
  return total;
}

TEST(FileReceiver, MovesOnlyTheBytesAskedForAndSeesTheEnd) {
  testenv::ScratchDir dir;
  const std::string data = testenv::PatternBytes(300000);
  LoopbackPair pair;
  pair.Send(data);
  pair.CloseSender();
  CFileReceiver receiver;
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("piece"), CFile::modeCreate | CFile::modeWrite));
  EXPECT_EQ(ReceiveAll(receiver, pair.Receiver(), file, 200001), 200001);
  file.Close();
  EXPECT_EQ(testenv::ReadFile(dir.File("piece")), data.substr(0, 200001));

  std::string rest(data.size(), '\0');
  ssize_t count = 0;
  size_t got = 0;
  while ((count = recv(pair.Receiver(), rest.data() + got, rest.size() - got, 0)) > 0) got += static_cast<size_t>(count);
  EXPECT_EQ(rest.substr(0, got), data.substr(200001));
  CFile after;
  ASSERT_TRUE(after.Open(dir.File("after"), CFile::modeCreate | CFile::modeWrite));
  EXPECT_EQ(receiver.Receive(pair.Receiver(), after, 10), 0);
}

TEST(FileReceiver, NothingWaitingIsWouldBlock) {
  testenv::ScratchDir dir;
  LoopbackPair pair;
  CFileReceiver receiver;
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("piece"), CFile::modeCreate | CFile::modeWrite));
  EXPECT_EQ(receiver.Receive(pair.Receiver(), file, 10), -1);
  EXPECT_EQ(errno, EAGAIN);
}

// A block that could not be written must not turn up in the next file.
TEST(FileReceiver, AFailedWriteThrowsNamingTheFileAndLeavesNothingBehind) {
  testenv::ScratchDir dir;
  CFileReceiver receiver;
  {
    testenv::FileSizeLimit limit(1000);
    LoopbackPair pair;
    CFile full;
    ASSERT_TRUE(full.Open(dir.File("full"), CFile::modeCreate | CFile::modeWrite));
    pair.Send(testenv::PatternBytes(5000));
    try {
      ReceiveAll(receiver, pair.Receiver(), full, 5000);
      FAIL() << "the write past the limit was not reported";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_strFileName, dir.File("full"));
      EXPECT_FALSE(error.m_strReason.empty());
    }
  }
  LoopbackPair fresh;
  fresh.Send("fresh");
  fresh.CloseSender();
  CFile next;
  ASSERT_TRUE(next.Open(dir.File("next"), CFile::modeCreate | CFile::modeWrite));
  EXPECT_EQ(ReceiveAll(receiver, fresh.Receiver(), next, 100), 5);
  next.Close();
  EXPECT_EQ(testenv::ReadFile(dir.File("next")), "fresh");
}

}  // namespace
