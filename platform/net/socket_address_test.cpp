#include "platform/net/socket_address.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/net/socket.h"

using namespace std::chrono_literals;

namespace {

void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

TEST(SocketAddress, LiteralsOfEitherFamilyAndNothingElse) {
  const struct {
    const char* host;
    bool literal;
    const char* text;
  } cases[] = {
      {"127.0.0.1", true, "127.0.0.1"}, {"::1", true, "::1"},         {"0:0::1", true, "::1"},
      {"", true, "0.0.0.0"},            {"[::1]", false, ""},         {"localhost", false, ""},
      {"1.2.3", false, ""},             {"::1%lo", false, ""},        {"256.0.0.1", false, ""},
  };
  for (const auto& c : cases) {
    SocketAddress address;
    EXPECT_EQ(ParseNumericAddress(c.host, 8080, address), c.literal) << c.host;
    if (!c.literal) continue;
    EXPECT_EQ(address.Text(), c.text) << c.host;
    EXPECT_EQ(address.Port(), 8080u) << c.host;
  }
}

TEST(SocketAddress, NamesAreLookedUpAndUnknownOnesAreNotFound) {
  std::vector<SocketAddress> addresses;
  EXPECT_EQ(ResolveAddresses("localhost", 21, addresses), 0);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.front().Port(), 21u);
  EXPECT_EQ(ResolveAddresses("no-such-host.invalid", 21, addresses), WSAHOST_NOT_FOUND);
  EXPECT_TRUE(addresses.empty());
}

class Acceptor : public CSocket {
 public:
  explicit Acceptor(CSocket& into) : m_into(into) {}
  // Listens on the address; the port, or 0 when it cannot.
  unsigned ListenOn(const std::string& address) {
    std::string bound;
    unsigned port = 0;
    if (!Create(0, FD_ALL_EVENTS, address) || !Listen(1) || !GetSockName(bound, port) || bound != address) return 0;
    return port;
  }
  void OnAccept(int) override { accepted = Accept(m_into, &peer); }
  bool accepted = false;
  std::string peer;

 private:
  CSocket& m_into;
};

// A listener on the IPv6 loopback, and a socket created for IPv4 that
// takes the family of the address it connects to.
TEST(SocketFamilies, AnUnboundSocketConnectsOverIPv6) {
  OnFreshThread([] {
    CSocket accepted;
    Acceptor listener(accepted);
    unsigned port = listener.ListenOn("::1");
    ASSERT_NE(port, 0u);
    EXPECT_TRUE(listener.IsIPv6());

    CSocket client;
    ASSERT_TRUE(client.Create());
    EXPECT_FALSE(client.IsIPv6());
    ASSERT_TRUE(client.Connect("::1", port)) << CAsyncSocket::GetLastError();
    EXPECT_TRUE(client.IsIPv6());
    EXPECT_TRUE(EventLoop::ForThisThread().PumpUntil([&] { return listener.accepted; }, 5s));
    EXPECT_EQ(listener.peer, "::1");
    std::string address;
    ASSERT_TRUE(accepted.GetPeerName(address, port));
    EXPECT_EQ(address, "::1");
    EXPECT_TRUE(accepted.IsIPv6());
  });
}

// A name is looked up beside the loop; one that has no address fails the
// connect either way, with the loop's other work going on meanwhile.
TEST(SocketFamilies, NamesAreLookedUpWithoutBlockingTheLoop) {
  OnFreshThread([] {
    CSocket accepted;
    Acceptor listener(accepted);
    const unsigned port = listener.ListenOn("127.0.0.1");
    ASSERT_NE(port, 0u);
    CSocket byName;
    ASSERT_TRUE(byName.Create());
    EXPECT_TRUE(byName.Connect("localhost", port)) << CAsyncSocket::GetLastError();

    CSocket unknown;
    ASSERT_TRUE(unknown.Create());
    EXPECT_FALSE(unknown.Connect("no-such-host.invalid", port));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAHOST_NOT_FOUND);

    class AsyncProbe : public CAsyncSocket {
     public:
      void OnConnect(int nErrorCode) override { code = nErrorCode; }
      int code = -1;
    } async;
    ASSERT_TRUE(async.Create());
    EXPECT_FALSE(async.Connect("no-such-host.invalid", port));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(EventLoop::ForThisThread().PumpUntil([&] { return async.code != -1; }, 10s));
    EXPECT_EQ(async.code, WSAHOST_NOT_FOUND);
  });
}

// Closed while its name is looked up, a socket hears nothing more of it.
TEST(SocketFamilies, ClosingDuringALookupDropsItsAnswer) {
  OnFreshThread([] {
    class AsyncProbe : public CAsyncSocket {
     public:
      void OnConnect(int) override { ++connects; }
      int connects = 0;
    } async;
    ASSERT_TRUE(async.Create());
    EXPECT_FALSE(async.Connect("localhost", 9));
    async.Close();
    EventLoop::ForThisThread().PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(async.connects, 0);
  });
}

}  // namespace
