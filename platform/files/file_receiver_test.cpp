#include "platform/files/file_receiver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/files/file.h"
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
  // The data may be more than the socket buffers hold.
  std::thread SendAndCloseInBackground(const std::string& data) {
    return std::thread([this, &data] {
      Send(data);
      CloseSender();
    });
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

// Takes `wanted` bytes in as many moves as it needs, or up to the end.
int64_t ReceiveAll(CFileReceiver& receiver, int fd, int64_t wanted) {
  int64_t total = 0;
  for (int tries = 0; total < wanted && tries < 1000000; ++tries) {
    const int64_t moved = receiver.Receive(fd, wanted - total);
    if (moved == 0) break;
    if (moved > 0) total += moved;
  }
  return total;
}

TEST(FileReceiver, TakesOnlyTheBytesAskedForAndSeesTheEnd) {
  testenv::ScratchDir dir;
  const std::string data = testenv::PatternBytes(3000000);
  LoopbackPair pair;
  std::thread sender = pair.SendAndCloseInBackground(data);
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("piece"), CFile::modeCreate | CFile::modeWrite));
  CFileReceiver receiver(file);
  EXPECT_EQ(ReceiveAll(receiver, pair.Receiver(), 2000001), 2000001);
  receiver.Finish();
  file.Close();
  EXPECT_TRUE(testenv::ReadFile(dir.File("piece")) == data.substr(0, 2000001));

  std::string rest;
  char buffer[65536];
  for (int tries = 0; tries < 1000000; ++tries) {
    const ssize_t count = recv(pair.Receiver(), buffer, sizeof buffer, 0);
    if (count == 0) break;
    if (count > 0) rest.append(buffer, static_cast<size_t>(count));
  }
  sender.join();
  EXPECT_TRUE(rest == data.substr(2000001));
  CFile after;
  ASSERT_TRUE(after.Open(dir.File("after"), CFile::modeCreate | CFile::modeWrite));
  CFileReceiver atTheEnd(after);
  EXPECT_EQ(atTheEnd.Receive(pair.Receiver(), 10), 0);
  EXPECT_NO_THROW(atTheEnd.Finish());
}

TEST(FileReceiver, NothingWaitingIsWouldBlock) {
  testenv::ScratchDir dir;
  LoopbackPair pair;
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("piece"), CFile::modeCreate | CFile::modeWrite));
  CFileReceiver receiver(file);
  EXPECT_EQ(receiver.Receive(pair.Receiver(), 10), -1);
  EXPECT_EQ(errno, EAGAIN);
}

// The failure shows at the next Receive or at Finish, naming the file.
TEST(FileReceiver, AFailedWriteIsReportedNamingTheFile) {
  testenv::ScratchDir dir;
  testenv::FileSizeLimit limit(1000);
  const std::string data = testenv::PatternBytes(4 << 20);
  LoopbackPair pair;
  std::thread sender = pair.SendAndCloseInBackground(data);
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("full"), CFile::modeCreate | CFile::modeWrite));
  CFileReceiver receiver(file);
  int64_t total = 0;
  std::string failedOn;
  for (int tries = 0; tries < 1000000 && failedOn.empty(); ++tries) {
    try {
      const int64_t moved = receiver.Receive(pair.Receiver(), 1 << 20);
      if (moved == 0) break;
      if (moved > 0) total += moved;
    } catch (const CFileException& error) {
      failedOn = error.m_strFileName;
    }
  }
  char buffer[65536];
  while (recv(pair.Receiver(), buffer, sizeof buffer, 0) != 0) {
  }
  sender.join();
  try {
    receiver.Finish();
    FAIL() << "the write past the limit was not reported";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("full"));
    EXPECT_FALSE(error.m_strReason.empty());
  }
  if (!failedOn.empty()) {
    EXPECT_EQ(failedOn, dir.File("full"));
  }
  EXPECT_LE(total, static_cast<int64_t>(data.size()));
}

TEST(FileReceiver, AFileThatIsNotOpenFailsTheFirstReceive) {
  LoopbackPair pair;
  CFile closed;
  CFileReceiver receiver(closed);
  EXPECT_THROW(receiver.Receive(pair.Receiver(), 10), CFileException);
  EXPECT_THROW(receiver.Finish(), CFileException);
}

}  // namespace
