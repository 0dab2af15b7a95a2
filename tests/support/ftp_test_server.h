#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

// How one data connection ends, after `atByte` bytes of it have been sent.
enum class FtpDataFault {
  kNone,   // all bytes from the restart offset to the end, then a graceful close
  kReset,  // a reset (SO_LINGER {1, 0})
  kClose,  // a graceful close before the end
  kStall,  // nothing more, the connection held open until the client ends it
};

// What the server does on one control connection. Replies are looked up by
// the whole command line first ("REST 100"), then by its verb ("USER"); an
// empty reply list means no answer at all. Lines are sent as given, each with
// CR LF. "%SIZE%" in a reply is replaced by the file's size, which SIZE
// gives unless scripted otherwise.
struct FtpSessionScript {
  std::vector<std::string> greeting{"220 Scripted FTP server ready"};
  std::map<std::string, std::vector<std::string>> replies;
  // The RETR reply when none is scripted. Data follows a reply list whose
  // first line begins with 1; otherwise no data connection is made.
  std::vector<std::string> retrReplies{"150 Opening BINARY mode data connection for file (%SIZE% bytes)."};
  std::vector<std::string> afterData{"226 Transfer complete."};
  std::vector<std::string> aborReplies{"426 Transfer aborted. Data connection closed.", "226 ABOR successful."};
  FtpDataFault fault = FtpDataFault::kNone;
  int64_t faultAt = 0;
  // Data pacing: bytes per send and the pause after each.
  size_t chunk = 65536;
  std::chrono::milliseconds pause{0};
  // Runs on the session's thread before the greeting is sent.
  std::function<void()> beforeGreeting;
  // Runs on the session's thread before the first data byte is sent.
  std::function<void()> beforeData;
  // The control connection is closed after the reply to this verb.
  std::string closeAfter;
  // The control connection is closed when the data has ended, with no reply.
  bool closeAfterData = false;
  // After the reply to this verb, a line that is no reply every 300 ms.
  std::string junkAfter;
  // Before PORT is answered, an intruder from another local address
  // (127.0.0.3) connects to the port it names and sends bytes of its own;
  // it also tries that port on 127.0.0.3.
  bool intruder = false;
  // Required login; empty accepts anything.
  std::string user;
  std::string password;
  // The data comes first, then, once its connection is closed, the opening
  // reply to RETR and the rest.
  bool dataBeforeOpening = false;
};

// A scripted FTP server on the servers' address 127.0.0.2 (or ::1), from
// which its data connections come too, that
// serves one file in active mode (PORT, or EPRT) and records every command
// line it receives. Control connections are numbered from 1 in the order
// they arrive; each follows the script set for its number, or the default.
// Every wait is bounded.
class FtpTestServer {
 public:
  explicit FtpTestServer(std::string fileData, bool ipv6 = false);
  ~FtpTestServer();
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

  int Port() const { return m_port; }
  std::string Url(const std::string& path = "/file.bin") const;

  // Before the client connects.
  void SetDefaultScript(FtpSessionScript script);
  void SetScript(int session, FtpSessionScript script);

  int SessionCount() const;
  // Command lines received on one control connection, without CR LF.
  std::vector<std::string> Commands(int session) const;
  // The first recorded line of the session that starts with the prefix.
  std::string FindCommand(int session, const std::string& prefix) const;
  // Bytes sent on the session's data connection.
  int64_t DataSent(int session) const;
  // Address the server connected to for data ("127.0.0.1:port", the client's, or "[::1]:port").
  std::string DataTarget(int session) const;
  // Address the client's control connection came from.
  std::string ControlPeer(int session) const;
  // What the intruder of the session met: its connection closed by the
  // client at once, and the port refused on the other address.
  struct IntruderOutcome {
    bool closedAtOnce = false;
    bool refusedElsewhere = false;
  };
  IntruderOutcome Intruder(int session) const;

  // True once every listed session has sent at least `bytes` data bytes.
  bool WaitForDataSent(const std::vector<int>& sessions, int64_t bytes, std::chrono::milliseconds timeout) const;
  bool WaitForCommand(int session, const std::string& prefix, std::chrono::milliseconds timeout) const;
  // True once the client has closed that control connection.
  bool WaitForSessionEnd(int session, std::chrono::milliseconds timeout) const;

 private:
  struct Session;
  void AcceptLoop();
  void RunSession(const std::shared_ptr<Session>& session);
  void HandleCommand(const std::shared_ptr<Session>& session, const std::string& line);
  void StartTransfer(const std::shared_ptr<Session>& session, const std::vector<std::string>& opening);
  void Intrude(const std::shared_ptr<Session>& session);
  void SendData(const std::shared_ptr<Session>& session, int dataFd, const std::vector<std::string>& opening);
  void Reply(const std::shared_ptr<Session>& session, const std::vector<std::string>& lines);
  FtpSessionScript ScriptFor(int number) const;
  std::shared_ptr<Session> SessionAt(int number) const;

  const std::string m_data;
  const bool m_bIPv6;
  const std::string m_host;  // as a URL writes it
  int m_listenFd = -1;
  int m_port = 0;
  std::thread m_acceptThread;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  bool m_bStopping = false;
  FtpSessionScript m_defaultScript;
  std::map<int, FtpSessionScript> m_scripts;
  std::vector<std::shared_ptr<Session>> m_sessions;
};

}  // namespace testenv
