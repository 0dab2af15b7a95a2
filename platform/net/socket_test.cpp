#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/net/socket.h"

using namespace std::chrono_literals;

namespace {

void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  }
  return text;
}

// The peer side, in plain POSIX calls on its own thread.
class RawListener {
 public:
  explicit RawListener(int backlog = 8) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(m_fd, backlog), 0);
    socklen_t length = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~RawListener() { close(m_fd); }
  unsigned Port() const { return m_port; }
  // -1 when nobody connects within the time-out.
  int AcceptOne(int timeoutMs = 5000) {
    pollfd waiting{m_fd, POLLIN, 0};
    if (poll(&waiting, 1, timeoutMs) != 1) {
      return -1;
    }
    return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
  }

 private:
  int m_fd = -1;
  unsigned m_port = 0;
};

int RawConnect(unsigned port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

void SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t count = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) {
      return;
    }
    sent += static_cast<size_t>(count);
  }
}

void ResetAndClose(int fd) {
  const linger abortive{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  close(fd);
}

unsigned UnusedPort() {
  RawListener probe;
  return probe.Port();
}

class RecordingSocket : public CSocket {
 public:
  void OnReceive(int nErrorCode) override {
    EXPECT_EQ(nErrorCode, 0);
    ++receives;
    if (!readInOnReceive) {
      return;
    }
    char buffer[12000];
    const int count = Receive(buffer, readChunk);
    if (count > 0) {
      data.append(buffer, static_cast<size_t>(count));
    }
  }
  void OnClose(int nErrorCode) override {
    ++closes;
    closeCode = nErrorCode;
    bytesAtClose = data.size();
  }
  void OnConnect(int nErrorCode) override {
    ++connects;
    connectCode = nErrorCode;
  }
  void OnSend(int nErrorCode) override {
    EXPECT_EQ(nErrorCode, 0);
    ++sends;
  }

  int readChunk = 11999;
  bool readInOnReceive = true;
  std::string data;
  int receives = 0;
  int closes = 0;
  int closeCode = -1;
  size_t bytesAtClose = 0;
  int connects = 0;
  int connectCode = -1;
  int sends = 0;
};

TEST(Socket, GracefulCloseComesOnceAndOnlyAfterEveryByte) {
  RawListener listener;
  const std::string payload = Pattern(1 << 20);
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    SendAll(fd, payload);
    close(fd);
  });
  OnFreshThread([&] {
    RecordingSocket client;
    client.readChunk = 1000;  // small reads: the end arrives long before the data is taken
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("localhost", listener.Port())) << CAsyncSocket::GetLastError();
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return client.closes > 0; }, 20s));
    loop.PumpUntil([] { return false; }, 30ms);
    EXPECT_EQ(client.closes, 1);
    EXPECT_EQ(client.closeCode, 0);
    EXPECT_EQ(client.bytesAtClose, payload.size());
    EXPECT_TRUE(client.data == payload);
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), 0);
  });
  peer.join();
}

TEST(Socket, ResetByThePeerIsReportedAsConnectionResetOnce) {
  RawListener listener;
  std::atomic<bool> connected{false};
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    for (int i = 0; i < 1000 && !connected; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    SendAll(fd, "partial");
    std::this_thread::sleep_for(20ms);
    ResetAndClose(fd);
  });
  OnFreshThread([&] {
    RecordingSocket client;
    ASSERT_TRUE(client.Create());
    const bool madeIt = client.Connect("127.0.0.1", listener.Port());
    connected = true;
    ASSERT_TRUE(madeIt);
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return client.closes > 0; }, 10s));
    loop.PumpUntil([] { return false; }, 30ms);
    EXPECT_EQ(client.closes, 1);
    EXPECT_EQ(client.closeCode, WSAECONNRESET);
    EXPECT_EQ(client.data, "partial");
  });
  peer.join();
}

TEST(Socket, RefusedConnectFailsBlockingAndAsynchronously) {
  const unsigned port = UnusedPort();
  OnFreshThread([&] {
    CSocket blocking;
    ASSERT_TRUE(blocking.Create());
    EXPECT_FALSE(blocking.Connect("127.0.0.1", port));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNREFUSED);

    class AsyncProbe : public CAsyncSocket {
     public:
      void OnConnect(int nErrorCode) override {
        ++connects;
        code = nErrorCode;
      }
      int connects = 0;
      int code = -1;
    } async;
    ASSERT_TRUE(async.Create());
    if (!async.Connect("127.0.0.1", port)) {
      EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
      EXPECT_TRUE(EventLoop::ForThisThread().PumpUntil([&] { return async.connects > 0; }, 5s));
      EXPECT_EQ(async.code, WSAECONNREFUSED);
    } else {
      ADD_FAILURE() << "a refused connect succeeded";
    }
  });
}

TEST(Socket, AsynchronousConnectReportsThroughOnConnectAndNamesBothEnds) {
  RawListener listener;
  std::thread peer([&] { close(listener.AcceptOne()); });
  OnFreshThread([&] {
    RecordingSocket client;
    client.readInOnReceive = false;
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.CAsyncSocket::Connect("127.0.0.1", listener.Port()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(EventLoop::ForThisThread().PumpUntil([&] { return client.connects > 0; }, 5s));
    EXPECT_EQ(client.connectCode, 0);
    std::string address;
    unsigned port = 0;
    ASSERT_TRUE(client.GetPeerName(address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, listener.Port());
    ASSERT_TRUE(client.GetSockName(address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_NE(port, 0u);
  });
  peer.join();
}

// A listener whose queue is full drops new handshakes, so a connect to it
// lasts until the queue is drained and the handshake is tried again.
struct SlowConnectTarget {
  SlowConnectTarget() : listener(0), filler(RawConnect(listener.Port())) {}
  ~SlowConnectTarget() {
    close(filler);
    if (accepted >= 0) {
      close(accepted);
    }
  }
  void DrainAfter(std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
    accepted = listener.AcceptOne();
  }
  RawListener listener;
  int filler;
  int accepted = -1;
};

// Receives and notes whether a blocking connect of the thread was still
// waiting at that moment.
class WaitWitness : public RecordingSocket {
 public:
  explicit WaitWitness(const bool& connectReturned) : m_connectReturned(connectReturned) {}
  void OnReceive(int nErrorCode) override {
    RecordingSocket::OnReceive(nErrorCode);
    servedDuringConnect = !m_connectReturned;
  }
  bool servedDuringConnect = false;

 private:
  const bool& m_connectReturned;
};

TEST(Socket, BlockingConnectKeepsServingTheThreadsOtherSockets) {
  RawListener dataListener;
  SlowConnectTarget slow;
  std::thread peer([&] {
    const int fd = dataListener.AcceptOne();
    std::this_thread::sleep_for(100ms);
    SendAll(fd, "while you wait");
    slow.DrainAfter(200ms);
    std::this_thread::sleep_for(100ms);
    close(fd);
  });
  OnFreshThread([&] {
    bool connectReturned = false;
    WaitWitness other(connectReturned);
    ASSERT_TRUE(other.Create());
    ASSERT_TRUE(other.Connect("127.0.0.1", dataListener.Port()));
    CSocket slowClient;
    ASSERT_TRUE(slowClient.Create());
    const auto started = std::chrono::steady_clock::now();
    const bool connected = slowClient.Connect("127.0.0.1", slow.listener.Port());
    connectReturned = true;
    EXPECT_TRUE(connected) << CAsyncSocket::GetLastError();
    EXPECT_GE(std::chrono::steady_clock::now() - started, 250ms) << "the connect did not wait";
    EXPECT_TRUE(other.servedDuringConnect);
    EXPECT_EQ(other.data, "while you wait");
  });
  peer.join();
}

TEST(Socket, QuitDuringBlockingConnectEndsItInterrupted) {
  SlowConnectTarget slow;
  OnFreshThread([&] {
    EventLoop& loop = EventLoop::ForThisThread();
    loop.AddTimer(50ms, [&] { PostThreadMessage(loop.Id(), WM_QUIT, 3); }, false);
    CSocket client;
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.Connect("127.0.0.1", slow.listener.Port()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINTR);
    EXPECT_TRUE(loop.QuitPending());
    EXPECT_EQ(loop.Run(), 3);
  });
}

TEST(Socket, ClosingOrDeletingASocketWhileItsBlockingConnectWaits) {
  SlowConnectTarget slow;
  OnFreshThread([&] {
    EventLoop& loop = EventLoop::ForThisThread();
    CSocket closed;
    ASSERT_TRUE(closed.Create());
    loop.AddTimer(30ms, [&] { closed.Close(); }, false);
    EXPECT_FALSE(closed.Connect("127.0.0.1", slow.listener.Port()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINTR);
    EXPECT_FALSE(closed.IsOpen());

    auto* deleted = new CSocket;
    ASSERT_TRUE(deleted->Create());
    loop.AddTimer(30ms, [&] { delete deleted; }, false);
    EXPECT_FALSE(deleted->Connect("127.0.0.1", slow.listener.Port()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINTR);
  });
}

// Two sockets whose data arrives together; the first one notified deletes
// the other and then itself.
class SelfDeletingSocket : public CSocket {
 public:
  SelfDeletingSocket(SelfDeletingSocket*& self, SelfDeletingSocket*& partner, int& notifications)
      : m_self(self), m_partner(partner), m_notifications(notifications) {}
  void OnReceive(int) override {
    ++m_notifications;
    delete m_partner;
    m_partner = nullptr;
    m_self = nullptr;
    delete this;
  }

 private:
  SelfDeletingSocket*& m_self;
  SelfDeletingSocket*& m_partner;
  int& m_notifications;
};

TEST(Socket, ASocketMayDeleteItselfAndAnotherInsideOnReceive) {
  RawListener listener;
  std::atomic<bool> bothConnected{false};
  std::thread peer([&] {
    const int first = listener.AcceptOne();
    const int second = listener.AcceptOne();
    for (int i = 0; i < 1000 && !bothConnected; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    SendAll(first, "one");
    SendAll(second, "two");
    std::this_thread::sleep_for(300ms);
    close(first);
    close(second);
  });
  OnFreshThread([&] {
    int notifications = 0;
    SelfDeletingSocket* a = nullptr;
    SelfDeletingSocket* b = nullptr;
    a = new SelfDeletingSocket(a, b, notifications);
    b = new SelfDeletingSocket(b, a, notifications);
    ASSERT_TRUE(a->Create());
    ASSERT_TRUE(a->Connect("127.0.0.1", listener.Port())) << CAsyncSocket::GetLastError();
    ASSERT_TRUE(b->Create());
    ASSERT_TRUE(b->Connect("127.0.0.1", listener.Port())) << CAsyncSocket::GetLastError();
    bothConnected = true;
    // Both are readable before the loop looks, so they share one dispatch.
    std::this_thread::sleep_for(100ms);
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return notifications > 0; }, 5s));
    loop.PumpUntil([] { return false; }, 50ms);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
  });
  peer.join();
}

TEST(Socket, BlockingSendOfEightMebibytesToASlowReaderCompletes) {
  RawListener listener;
  const std::string payload = Pattern(8 << 20);
  std::string arrived;
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    char buffer[16384];
    for (;;) {
      const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
      if (count <= 0) {
        break;
      }
      arrived.append(buffer, static_cast<size_t>(count));
      std::this_thread::sleep_for(200us);
    }
    close(fd);
  });
  OnFreshThread([&] {
    EventLoop& loop = EventLoop::ForThisThread();
    int ticks = 0;
    const auto ticker = loop.AddTimer(5ms, [&] { ++ticks; }, true);
    CSocket client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
    EXPECT_EQ(client.Send(payload.data(), static_cast<int>(payload.size())), static_cast<int>(payload.size()));
    EXPECT_GT(ticks, 0) << "the loop was not pumped while the send waited";
    loop.CancelTimer(ticker);
    client.Close();
  });
  peer.join();
  EXPECT_EQ(arrived.size(), payload.size());
  EXPECT_TRUE(arrived == payload);
}

TEST(Socket, ClosingOrDeletingASocketWhileItsBlockingSendWaits) {
  RawListener listener;
  std::thread peer([&] {
    const int first = listener.AcceptOne();
    const int second = listener.AcceptOne();
    std::this_thread::sleep_for(500ms);
    close(first);
    close(second);
  });
  OnFreshThread([&] {
    EventLoop& loop = EventLoop::ForThisThread();
    const std::string payload = Pattern(64 << 20);
    CSocket closed;
    ASSERT_TRUE(closed.Create());
    ASSERT_TRUE(closed.Connect("127.0.0.1", listener.Port()));
    int nestedResult = 0;
    int nestedError = 0;
    loop.AddTimer(20ms, [&] {
      nestedResult = closed.Send("x", 1);
      nestedError = CAsyncSocket::GetLastError();
    }, false);
    loop.AddTimer(30ms, [&] { closed.Close(); }, false);
    EXPECT_EQ(closed.Send(payload.data(), static_cast<int>(payload.size())), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINTR);
    EXPECT_EQ(nestedResult, SOCKET_ERROR);
    EXPECT_EQ(nestedError, WSAEINPROGRESS);

    auto* deleted = new CSocket;
    ASSERT_TRUE(deleted->Create());
    ASSERT_TRUE(deleted->Connect("127.0.0.1", listener.Port()));
    loop.AddTimer(30ms, [&] { delete deleted; }, false);
    EXPECT_EQ(deleted->Send(payload.data(), static_cast<int>(payload.size())), SOCKET_ERROR);
  });
  peer.join();
}

TEST(Socket, SendToAResetPeerFailsWithConnectionReset) {
  RawListener listener;
  std::atomic<bool> connected{false};
  std::atomic<bool> reset{false};
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    for (int i = 0; i < 1000 && !connected; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    ResetAndClose(fd);
    reset = true;
  });
  OnFreshThread([&] {
    CSocket client;
    ASSERT_TRUE(client.Create());
    const bool madeIt = client.Connect("127.0.0.1", listener.Port());
    connected = true;
    ASSERT_TRUE(madeIt);
    for (int i = 0; i < 1000 && !reset; ++i) {
      std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(20ms);
    const std::string block = Pattern(4096);
    int result = 0;
    for (int i = 0; i < 10 && result != SOCKET_ERROR; ++i) {
      result = client.Send(block.data(), static_cast<int>(block.size()));
    }
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNRESET);
  });
  connected = true;
  peer.join();
}

TEST(Socket, AsynchronousSendThatWouldBlockIsFollowedByOnSend) {
  RawListener listener;
  std::atomic<bool> startReading{false};
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    for (int i = 0; i < 1000 && !startReading; ++i) {
      std::this_thread::sleep_for(5ms);
    }
    char buffer[65536];
    while (recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    close(fd);
  });
  OnFreshThread([&] {
    RecordingSocket client;
    client.readInOnReceive = false;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
    const std::string block = Pattern(1 << 20);
    int result = 0;
    for (int i = 0; i < 512 && result != SOCKET_ERROR; ++i) {
      result = client.CAsyncSocket::Send(block.data(), static_cast<int>(block.size()));
    }
    ASSERT_EQ(result, SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(client.sends, 0);
    startReading = true;
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return client.sends > 0; }, 10s));
    loop.PumpUntil([] { return false; }, 30ms);
    EXPECT_EQ(client.sends, 1);
    client.Close();
  });
  peer.join();
}

// Takes one connection into `accepted` when notified.
class AcceptingSocket : public CAsyncSocket {
 public:
  explicit AcceptingSocket(RecordingSocket& accepted) : m_accepted(accepted) {}
  void OnAccept(int nErrorCode) override {
    EXPECT_EQ(nErrorCode, 0);
    ++accepts;
    result = Accept(m_accepted);
  }
  int accepts = 0;
  bool result = false;

 private:
  RecordingSocket& m_accepted;
};

TEST(Socket, ListeningSocketAcceptsIntoAConnectedSocketOnTheSameLoop) {
  OnFreshThread([] {
    RecordingSocket accepted;
    AcceptingSocket server(accepted);
    ASSERT_TRUE(server.Create());
    ASSERT_TRUE(server.Listen(1));
    std::string address;
    unsigned port = 0;
    ASSERT_TRUE(server.GetSockName(address, port));
    EXPECT_EQ(address, "0.0.0.0");
    ASSERT_NE(port, 0u);
    unsigned clientPort = 0;
    std::thread client([&] {
      const int fd = RawConnect(port);
      sockaddr_in local{};
      socklen_t length = sizeof local;
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
      clientPort = ntohs(local.sin_port);
      SendAll(fd, "hello");
      close(fd);
    });
    client.join();
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return accepted.closes > 0; }, 5s));
    EXPECT_EQ(server.accepts, 1);
    EXPECT_TRUE(server.result);
    EXPECT_EQ(accepted.data, "hello");
    EXPECT_EQ(accepted.closeCode, 0);
    ASSERT_TRUE(accepted.GetPeerName(address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, clientPort);

    RecordingSocket alreadyOpen;
    ASSERT_TRUE(alreadyOpen.Create());
    EXPECT_FALSE(server.Accept(alreadyOpen));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEINVAL);
  });
}

TEST(Socket, ReceiveNeverBlocksAndAnUnreadNotificationIsNotRepeated) {
  RawListener listener;
  std::atomic<bool> done{false};
  std::thread peer([&] {
    const int fd = listener.AcceptOne();
    std::this_thread::sleep_for(50ms);
    SendAll(fd, "ab");
    for (int i = 0; i < 1000 && !done; ++i) {
      std::this_thread::sleep_for(5ms);
    }
    close(fd);
  });
  OnFreshThread([&] {
    RecordingSocket client;
    client.readInOnReceive = false;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.Port()));
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(client.BytesWaiting(), 0);
    EventLoop& loop = EventLoop::ForThisThread();
    EXPECT_TRUE(loop.PumpUntil([&] { return client.receives > 0; }, 5s));
    // The data is left waiting: no second notification until a Receive.
    EXPECT_FALSE(loop.PumpUntil([&] { return client.receives > 1; }, 50ms));
    EXPECT_EQ(client.BytesWaiting(), 2);
    EXPECT_EQ(client.Receive(&byte, 1), 1);
    EXPECT_EQ(byte, 'a');
    EXPECT_EQ(client.BytesWaiting(), 1);
    EXPECT_TRUE(loop.PumpUntil([&] { return client.receives > 1; }, 5s));
    EXPECT_EQ(client.closes, 0);
    done = true;
  });
  peer.join();
}

TEST(Socket, CreateOnAPortInUseAndUseBeforeCreateFail) {
  RawListener taken;
  OnFreshThread([&] {
    CAsyncSocket clash;
    EXPECT_FALSE(clash.Create(taken.Port(), FD_ALL_EVENTS, "127.0.0.1"));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEADDRINUSE);
    EXPECT_FALSE(clash.IsOpen());
    char byte = 0;
    EXPECT_EQ(clash.Receive(&byte, 1), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    CSocket notCreated;
    EXPECT_FALSE(notCreated.Connect("127.0.0.1", taken.Port()));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    CSocket twice;
    ASSERT_TRUE(twice.Create());
    twice.Close();
    twice.Close();
    EXPECT_FALSE(twice.IsOpen());
  });
}

}  // namespace
