#include "tests/support/ftp_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tests/support/loopback.h"

namespace testenv {

struct FtpTestServer::Session {
  int number = 0;
  int controlFd = -1;
  FtpSessionScript script;
  std::vector<std::string> commands;
  std::string dataTarget;
  std::string controlPeer;
  sockaddr_storage portAddress{};  // from PORT or EPRT
  bool havePort = false;
  int64_t restOffset = 0;
  int64_t dataSent = 0;
  bool ended = false;
  bool junk = false;  // junk lines are being sent
  FtpTestServer::IntruderOutcome intruder;
  std::mutex sendMutex;  // one reply at a time on the control connection
  std::thread control;
  std::thread data;
  int dataFd = -1;
};

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr auto kJunkEvery = std::chrono::milliseconds(300);
constexpr auto kOpeningAfterData = std::chrono::milliseconds(200);

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

socklen_t LengthOf(const sockaddr_storage& address) {
  return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// "h1,h2,h3,h4,p1,p2"
bool ParsePortArgument(const std::string& argument, sockaddr_storage& address) {
  unsigned h[4], p[2];
  if (sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) return false;
  address = sockaddr_storage{};
  auto& v4 = reinterpret_cast<sockaddr_in&>(address);
  v4.sin_family = AF_INET;
  v4.sin_addr.s_addr = htonl((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
  v4.sin_port = htons(static_cast<uint16_t>(p[0] * 256 + p[1]));
  return true;
}

// "|1|dotted|port|" or "|2|ipv6|port|" (RFC 2428)
bool ParseEprtArgument(const std::string& argument, sockaddr_storage& address) {
  char family = 0;
  char host[64] = {};
  unsigned port = 0;
  if (sscanf(argument.c_str(), "|%c|%63[^|]|%u|", &family, host, &port) != 3 || port > 65535) return false;
  address = sockaddr_storage{};
  if (family == '2') {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET6, host, &v6.sin6_addr) == 1;
  }
  auto& v4 = reinterpret_cast<sockaddr_in&>(address);
  v4.sin_family = AF_INET;
  v4.sin_port = htons(static_cast<uint16_t>(port));
  return family == '1' && inet_pton(AF_INET, host, &v4.sin_addr) == 1;
}

sockaddr_in IPv4Address(const std::string& dotted, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, dotted.c_str(), &address.sin_addr) != 1) throw std::runtime_error("no address: " + dotted);
  return address;
}

}  // namespace

FtpTestServer::FtpTestServer(std::string fileData, bool ipv6)
    : m_data(std::move(fileData)), m_bIPv6(ipv6), m_host(LoopbackHost(ipv6)) {
  m_listenFd = ListenOnLoopback(ipv6, 32, &m_port);
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

// Shutting the sockets down wakes every thread blocked on them.
FtpTestServer::~FtpTestServer() {
  std::vector<std::shared_ptr<Session>> sessions;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopping = true;
    sessions = m_sessions;
    for (const auto& session : sessions) {
      if (session->controlFd >= 0) shutdown(session->controlFd, SHUT_RDWR);
      if (session->dataFd >= 0) shutdown(session->dataFd, SHUT_RDWR);
    }
  }
  m_changed.notify_all();
  shutdown(m_listenFd, SHUT_RDWR);
  m_acceptThread.join();
  for (const auto& session : sessions) {
    if (session->control.joinable()) session->control.join();
    if (session->data.joinable()) session->data.join();
    if (session->controlFd >= 0) close(session->controlFd);
  }
  close(m_listenFd);
}

std::string FtpTestServer::Url(const std::string& path) const {
  return "ftp://" + m_host + ":" + std::to_string(m_port) + path;
}

void FtpTestServer::SetDefaultScript(FtpSessionScript script) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_defaultScript = std::move(script);
}

void FtpTestServer::SetScript(int session, FtpSessionScript script) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scripts[session] = std::move(script);
}

FtpSessionScript FtpTestServer::ScriptFor(int number) const {
  const auto found = m_scripts.find(number);
  return found == m_scripts.end() ? m_defaultScript : found->second;
}

void FtpTestServer::AcceptLoop() {
  for (;;) {
    pollfd waiting{m_listenFd, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(kPollStep.count()));
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_bStopping) return;
    }
    if (ready <= 0) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) continue;
    auto session = std::make_shared<Session>();
    session->controlFd = fd;
    session->controlPeer = AddressText(peer);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStopping) {
      close(fd);
      return;
    }
    session->number = static_cast<int>(m_sessions.size()) + 1;
    session->script = ScriptFor(session->number);
    m_sessions.push_back(session);
    session->control = std::thread([this, session] { RunSession(session); });
  }
}

void FtpTestServer::Reply(const std::shared_ptr<Session>& session, const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> lock(session->sendMutex);
  for (const auto& line : lines) {
    const std::string text = ReplaceAll(line, "%SIZE%", std::to_string(m_data.size())) + "\r\n";
    SendAll(session->controlFd, text.data(), text.size());
  }
}

void FtpTestServer::RunSession(const std::shared_ptr<Session>& session) {
  if (session->script.beforeGreeting) session->script.beforeGreeting();
  Reply(session, session->script.greeting);
  std::string pending;
  char buffer[4096];
  for (;;) {
    if (session->junk) {
      pollfd readable{session->controlFd, POLLIN, 0};
      if (poll(&readable, 1, static_cast<int>(kJunkEvery.count())) == 0) {
        Reply(session, {"please hold the line"});
        continue;
      }
    }
    const ssize_t count = recv(session->controlFd, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    pending.append(buffer, static_cast<size_t>(count));
    for (size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 2);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        session->commands.push_back(line);
      }
      m_changed.notify_all();
      HandleCommand(session, line);
      const std::string verb = Upper(line.substr(0, line.find(' ')));
      if (!verb.empty() && verb == session->script.closeAfter) shutdown(session->controlFd, SHUT_RDWR);
      if (!verb.empty() && verb == session->script.junkAfter) session->junk = true;
    }
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  session->ended = true;
  m_changed.notify_all();
}

void FtpTestServer::HandleCommand(const std::shared_ptr<Session>& session, const std::string& line) {
  const FtpSessionScript& script = session->script;
  const size_t blank = line.find(' ');
  const std::string verb = Upper(line.substr(0, blank));
  const std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
  if (verb == "PORT") session->havePort = ParsePortArgument(argument, session->portAddress);
  if (verb == "EPRT") session->havePort = ParseEprtArgument(argument, session->portAddress);
  if (verb == "PORT" && session->havePort && script.intruder) Intrude(session);

  auto scripted = script.replies.find(line);
  if (scripted == script.replies.end()) scripted = script.replies.find(verb);
  if (verb == "RETR") {
    const auto& opening = scripted != script.replies.end() ? scripted->second : script.retrReplies;
    StartTransfer(session, opening);
    return;
  }
  if (scripted != script.replies.end()) {
    // A scripted answer to REST is a refusal, which clears the restart point.
    if (verb == "REST") session->restOffset = 0;
    return Reply(session, scripted->second);
  }
  if (verb == "USER") {
    if (!script.user.empty() && argument != script.user) return Reply(session, {"530 Login incorrect."});
    return Reply(session, {"331 Please specify the password."});
  }
  if (verb == "PASS") {
    if (!script.password.empty() && argument != script.password) return Reply(session, {"530 Login incorrect."});
    return Reply(session, {"230 Login successful."});
  }
  if (verb == "TYPE") return Reply(session, {"200 Switching to Binary mode."});
  if (verb == "SIZE") return Reply(session, {"213 %SIZE%"});
  if (verb == "PORT" || verb == "EPRT")
    return Reply(session, {session->havePort ? "200 " + verb + " command successful." : "501 Bad " + verb + "."});
  if (verb == "REST") {
    session->restOffset = std::atoll(argument.c_str());
    return Reply(session, {"350 Restart position accepted (" + argument + ")."});
  }
  if (verb == "ABOR") return Reply(session, script.aborReplies);
  if (verb == "QUIT") return Reply(session, {"221 Goodbye."});
  Reply(session, {"502 Command not implemented."});
}

// The opening reply goes out first (or, scripted so, after the data); the
// data then flows on a thread of its own, so that ABOR and the rest of the
// conversation are still read. Data connections come from the server's own
// address.
void FtpTestServer::StartTransfer(const std::shared_ptr<Session>& session, const std::vector<std::string>& opening) {
  if (!session->script.dataBeforeOpening) Reply(session, opening);
  if (opening.empty() || opening.front().empty() || opening.front()[0] != '1' || !session->havePort) return;
  if (session->data.joinable()) return;
  const int fd = socket(session->portAddress.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const sockaddr_in own = m_bIPv6 ? sockaddr_in{} : IPv4Address(m_host, 0);
  if ((!m_bIPv6 && bind(fd, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0) ||
      connect(fd, reinterpret_cast<const sockaddr*>(&session->portAddress), LengthOf(session->portAddress)) != 0) {
    close(fd);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    session->dataFd = fd;
    session->dataTarget = AddressText(session->portAddress);
  }
  session->data = std::thread([this, session, fd, opening] { SendData(session, fd, opening); });
}

void FtpTestServer::SendData(const std::shared_ptr<Session>& session, int dataFd,
                             const std::vector<std::string>& opening) {
  const FtpSessionScript& script = session->script;
  if (script.beforeData) script.beforeData();
  const int64_t size = static_cast<int64_t>(m_data.size());
  int64_t at = std::min(session->restOffset, size);
  int64_t limit = size - at;
  if (script.fault != FtpDataFault::kNone) limit = std::min(limit, script.faultAt);
  int64_t sent = 0;
  bool ok = true;
  while (ok && sent < limit) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(script.chunk), limit - sent));
    ok = SendAll(dataFd, m_data.data() + at + sent, piece);
    if (ok) {
      sent += static_cast<int64_t>(piece);
      std::lock_guard<std::mutex> lock(m_mutex);
      session->dataSent = sent;
    }
    m_changed.notify_all();
    if (script.pause.count() > 0) std::this_thread::sleep_for(script.pause);
  }
  if (script.fault == FtpDataFault::kReset) {
    // Closed at once: a shutdown first would show the client a graceful end.
    linger hard{1, 0};
    setsockopt(dataFd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  } else if (script.fault == FtpDataFault::kStall && ok) {
    Reply(session, script.afterData);
    char byte;
    while (recv(dataFd, &byte, 1, 0) > 0) {
    }
  } else {
    shutdown(dataFd, SHUT_WR);
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    close(dataFd);
    session->dataFd = -1;
  }
  if (script.fault == FtpDataFault::kStall && ok) return;
  if (script.dataBeforeOpening) {
    // Long enough for the client to have seen the data's end first.
    std::this_thread::sleep_for(kOpeningAfterData);
    Reply(session, opening);
  }
  if (script.closeAfterData) {
    shutdown(session->controlFd, SHUT_RDWR);
    return;
  }
  Reply(session, ok ? script.afterData : std::vector<std::string>{"426 Connection closed; transfer aborted."});
}

// Bounded by a two-second wait for the client to close the intruder.
void FtpTestServer::Intrude(const std::shared_ptr<Session>& session) {
  IntruderOutcome outcome;
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, kStrangerAddress, &from.sin_addr);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
      connect(fd, reinterpret_cast<const sockaddr*>(&session->portAddress), LengthOf(session->portAddress)) == 0) {
    const std::string bytes(4096, '!');
    SendAll(fd, bytes.data(), bytes.size());
    pollfd closing{fd, POLLIN, 0};
    char byte;
    outcome.closedAtOnce = poll(&closing, 1, 2000) == 1 && recv(fd, &byte, 1, 0) <= 0;
  }
  if (fd >= 0) close(fd);
  sockaddr_in elsewhere = reinterpret_cast<const sockaddr_in&>(session->portAddress);
  inet_pton(AF_INET, kStrangerAddress, &elsewhere.sin_addr);
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  outcome.refusedElsewhere =
      probe >= 0 && connect(probe, reinterpret_cast<const sockaddr*>(&elsewhere), sizeof elsewhere) != 0;
  if (probe >= 0) close(probe);
  std::lock_guard<std::mutex> lock(m_mutex);
  session->intruder = outcome;
}

FtpTestServer::IntruderOutcome FtpTestServer::Intruder(int session) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = SessionAt(session);
  return found ? found->intruder : IntruderOutcome{};
}

std::shared_ptr<FtpTestServer::Session> FtpTestServer::SessionAt(int number) const {
  if (number < 1 || number > static_cast<int>(m_sessions.size())) return nullptr;
  return m_sessions[static_cast<size_t>(number - 1)];
}

int FtpTestServer::SessionCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_sessions.size());
}

std::vector<std::string> FtpTestServer::Commands(int session) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = SessionAt(session);
  return found ? found->commands : std::vector<std::string>{};
}

std::string FtpTestServer::FindCommand(int session, const std::string& prefix) const {
  for (const auto& line : Commands(session)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  }
  return "";
}

int64_t FtpTestServer::DataSent(int session) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = SessionAt(session);
  return found ? found->dataSent : 0;
}

std::string FtpTestServer::DataTarget(int session) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = SessionAt(session);
  return found ? found->dataTarget : "";
}

std::string FtpTestServer::ControlPeer(int session) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = SessionAt(session);
  return found ? found->controlPeer : "";
}

bool FtpTestServer::WaitForCommand(int session, const std::string& prefix, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] {
    if (m_bStopping) return true;
    const auto found = SessionAt(session);
    if (!found) return false;
    for (const auto& line : found->commands) {
      if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  }) && !m_bStopping;
}

bool FtpTestServer::WaitForDataSent(const std::vector<int>& sessions, int64_t bytes,
                                    std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] {
    if (m_bStopping) return true;
    for (int number : sessions) {
      const auto found = SessionAt(number);
      if (!found || found->dataSent < bytes) return false;
    }
    return true;
  }) && !m_bStopping;
}

bool FtpTestServer::WaitForSessionEnd(int session, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] {
    if (m_bStopping) return true;
    const auto found = SessionAt(session);
    return found && found->ended;
  }) && !m_bStopping;
}

}  // namespace testenv
