#include "ftp/ftp_command_socket.h"

#include <algorithm>

#include "ftp/ftp_data_socket.h"
#include "ftp/ftp_file_download_manager.h"
#include "ftp/ftp_listen_socket.h"
#include "ftp/ftp_messages.h"
#include "ftp/ftp_reply_sizes.h"
#include "platform/base/failure.h"
#include "platform/loop/timer.h"

namespace {

constexpr int kReceiveLimit = 9999;
// The login (greeting to the answer to PASS) is quick on every server; one
// that keeps a login waiting longer has lost it.
constexpr int kLoginSeconds = 10;

// How often a waiting connection looks at its clock: often enough that a
// stall is noticed soon after its limit, rarely enough to cost nothing.
std::chrono::milliseconds WatchInterval(int stallSeconds) {
  const auto quarter = std::chrono::milliseconds(stallSeconds * 250);
  if (quarter < std::chrono::milliseconds(100)) return std::chrono::milliseconds(100);
  if (quarter > std::chrono::milliseconds(1000)) return std::chrono::milliseconds(1000);
  return quarter;
}

// A stated size; a number beyond any size is a reply not understood.
int64_t CheckedSize(int64_t size, const std::string& line) {
  if (size == ftp_sizes::kSizeOutOfRange) throw Failure(kReplyNotUnderstood + line);
  return size;
}

}  // namespace

CFTPCommandSocket::CFTPCommandSocket(CFTPFileDownloadManager* manager)
    : m_strPassword(kAnonymousPassword), m_strUser(kAnonymousUser), m_pManager(manager) {}

// The data socket goes first: the listening socket holds a pointer to it.
CFTPCommandSocket::~CFTPCommandSocket() {
  m_watchTimer.reset();
  m_pDataSocket.reset();
  m_pListenSocket.reset();
}

bool CFTPCommandSocket::ConnectToServer() {
  if (!Create(0, FD_ALL_EVENTS)) throw Failure(Format(kCommandSocketNotCreated, GetLastError()));
  m_nState = FTPS_CONNECTING;
  if (!Connect(m_strHost, static_cast<unsigned>(m_nPort))) {
    const int error = GetLastError();
    throw Failure(Format(kCommandSocketNotConnected, m_strHost.c_str(), m_nPort, error));
  }
  m_nState = FTPS_CONNECTED;
  // The download may have ended while the connect pumped the loop.
  if (m_bRetired) return true;
  StartWatch();
  HandlePendingReplies();
  return true;
}

bool CFTPCommandSocket::SendCommand(const std::string& text) {
  const std::string line = text + "\r\n";
  return Send(line.data(), static_cast<int>(line.size()), 0) != SOCKET_ERROR;
}

bool CFTPCommandSocket::SendUsername() { return SendCommand("USER " + m_strUser); }

bool CFTPCommandSocket::SendPassword() { return SendCommand("PASS " + m_strPassword); }

bool CFTPCommandSocket::SendType() { return SendCommand("TYPE I"); }

bool CFTPCommandSocket::SendSIZE() { return SendCommand("SIZE " + m_strPath); }

bool CFTPCommandSocket::SendREST100() { return SendCommand("REST 100"); }

bool CFTPCommandSocket::SendREST() { return SendCommand(Format("REST %lld", static_cast<long long>(m_nStart))); }

bool CFTPCommandSocket::SendRETR() { return SendCommand("RETR " + m_strPath); }

bool CFTPCommandSocket::SendABOR() { return SendCommand("ABOR"); }

bool CFTPCommandSocket::SendPORT() {
  m_pDataSocket = std::make_unique<CFTPDataSocket>(this);
  if (!m_pDataSocket->HasTempFile()) {
    m_bLocalFailure = true;
    throw Failure(m_pDataSocket->TempFileError());
  }
  std::string localAddress, serverAddress, listenAddress;
  unsigned localPort = 0, serverPort = 0, listenPort = 0;
  if (!GetSockName(localAddress, localPort) || !GetPeerName(serverAddress, serverPort)) return false;
  m_pListenSocket = std::make_unique<CFTPListenSocket>(m_pDataSocket.get(), serverAddress);
  UpdateExpected();
  if (!m_pListenSocket->CreateAndListen(localAddress)) return false;
  if (!m_pListenSocket->GetSockName(listenAddress, listenPort)) return false;
  m_pDataSocket->m_nConnection = m_nConnection;
  // PORT can name only an IPv4 address.
  if (IsIPv6()) return SendCommand("EPRT " + FormatEprtArgument(localAddress, listenPort));
  return SendCommand("PORT " + FormatPortArgument(localAddress, listenPort));
}

std::string CFTPCommandSocket::FormatEprtArgument(const std::string& ipv6Address, unsigned port) {
  return Format("|2|%s|%u|", ipv6Address.c_str(), port);
}

std::string CFTPCommandSocket::FormatPortArgument(const std::string& dottedAddress, unsigned port) {
  std::string address = dottedAddress;
  for (int i = 0; i < 3; ++i) {
    const size_t dot = address.find('.');
    if (dot == std::string::npos) break;
    address[dot] = ',';
  }
  return Format("%s,%u,%u", address.c_str(), port / 256, port % 256);
}

std::string CFTPCommandSocket::ServerPath(const std::string& urlPath) {
  return urlPath.empty() || urlPath[0] != '/' ? urlPath : urlPath.substr(1);
}

void CFTPCommandSocket::OnReceive(int nErrorCode) {
  char buffer[kReceiveLimit + 1];
  const int count = Receive(buffer, kReceiveLimit, 0);
  if (count > 0) TakeReceivedText(buffer, static_cast<size_t>(count));
  CSocket::OnReceive(nErrorCode);
}

void CFTPCommandSocket::TakeReceivedText(const char* text, size_t count) {
  m_reader.Append(text, count);
  HandlePendingReplies();
}

// A reply handler may pump the loop (blocking sends and connects), and this
// socket's next replies may arrive meanwhile; they wait in the reader so
// that replies are always handled one after another, in order.
void CFTPCommandSocket::HandlePendingReplies() {
  if (m_bHandlingReplies) return;
  m_bHandlingReplies = true;
  FtpReply reply;
  while (m_nState >= FTPS_CONNECTED && !m_bRetired) {
    const FtpReplyReader::Result result = m_reader.Next(&reply);
    if (result == FtpReplyReader::Result::kNeedMore) break;
    if (result == FtpReplyReader::Result::kTooLong) {
      StopWatch();
      Fail(kReplyTooLong);
      break;
    }
    OnReply(reply);
  }
  m_bHandlingReplies = false;
}

// Before the transfer a closed control connection can bring no reply; once
// data flows, the data connection decides how a range of known length ends.
// Without a length only the server's confirmation can tell a whole file.
void CFTPCommandSocket::OnClose(int nErrorCode) {
  const bool waiting = !m_bRetired && (!IsTransferring() || AwaitsConfirmation());
  CSocket::OnClose(nErrorCode);
  if (waiting) {
    StopWatch();
    Fail(kControlClosed);
  }
}

void CFTPCommandSocket::OnReply(const FtpReply& reply) {
  if (m_nState == FTPS_IDLE || m_nState == FTPS_CONNECTING) return;
  try {
    Dispatch(reply);
  } catch (const Failure& failure) {
    Fail(failure.Text());
  }
}

void CFTPCommandSocket::Fail(const std::string& message) {
  if (m_bRetired) return;
  if (m_nConnection == 1 || m_bLocalFailure) {
    m_pManager->AbortDownload(message);
  } else {
    m_pManager->DropConnection(m_nConnection);
  }
}

void CFTPCommandSocket::Dispatch(const FtpReply& reply) {
  const std::string& code = reply.code;
  const std::string& line = reply.lastLine;
  switch (m_nState) {
    case FTPS_CONNECTED: return OnGreeting(code, line);
    case FTPS_USER_SENT: return OnUserReply(code, line);
    case FTPS_PASS_SENT: return OnPassReply(code, line);
    case FTPS_TYPE_SENT: return OnTypeReply(code, line);
    case FTPS_SIZE_SENT: return OnSizeReply(code, line);
    case FTPS_PORT_SENT: return OnPortReply(code, line);
    case FTPS_REST100_SENT: return OnRest100Reply(code, line);
    case FTPS_REST_SENT: return OnRestReply(code, line);
    case FTPS_RETR_SENT: return OnRetrReply(reply);
    default: return;
  }
}

// Each step enters its next state before it sends, so that a reply which
// arrives while the send is still pumping meets the right state. A step of
// the conversation is progress for the stall clock; other lines are not.
void CFTPCommandSocket::Advance(int nextState, bool (CFTPCommandSocket::*send)(), const char* sendFailure) {
  NoteProgress();
  m_nState = nextState;
  if (!(this->*send)()) throw Failure(sendFailure);
}

void CFTPCommandSocket::OnGreeting(const std::string& code, const std::string& line) {
  if (code != "220") throw Failure(kConnectRejected + line);
  m_loginStart = std::chrono::steady_clock::now();
  Advance(FTPS_USER_SENT, &CFTPCommandSocket::SendUsername, kSendUsernameFailed);
}

void CFTPCommandSocket::OnUserReply(const std::string& code, const std::string& line) {
  if (code == "331") return Advance(FTPS_PASS_SENT, &CFTPCommandSocket::SendPassword, kSendPasswordFailed);
  if (code == "230" || code == "320") return Advance(FTPS_TYPE_SENT, &CFTPCommandSocket::SendType, kSendTypeFailed);
  if (code == "530") throw Failure(kAccessDenied + line);
  throw Failure(kUsernameRejected + line);
}

void CFTPCommandSocket::OnPassReply(const std::string& code, const std::string& line) {
  if (code != "230") throw Failure(kPasswordRejected + line);
  Advance(FTPS_TYPE_SENT, &CFTPCommandSocket::SendType, kSendTypeFailed);
}

// The connection that learns the size asks for it: many servers' opening
// reply to RETR names none.
void CFTPCommandSocket::OnTypeReply(const std::string& code, const std::string& line) {
  if (code != "200") throw Failure(kTypeRejected + line);
  if (m_bLearnSize) return Advance(FTPS_SIZE_SENT, &CFTPCommandSocket::SendSIZE, kSendSIZEFailed);
  Advance(FTPS_PORT_SENT, &CFTPCommandSocket::SendPORT, kSendPORTFailed);
}

// Any answer but a size leaves the size to the opening reply.
void CFTPCommandSocket::OnSizeReply(const std::string& code, const std::string& line) {
  if (code == "213") m_nSizeReply = CheckedSize(ftp_sizes::FromSizeReply(line), line);
  Advance(FTPS_PORT_SENT, &CFTPCommandSocket::SendPORT, kSendPORTFailed);
}

void CFTPCommandSocket::OnPortReply(const std::string& code, const std::string& line) {
  if (code != "200") throw Failure(kPORTRejected + line);
  Advance(FTPS_REST100_SENT, &CFTPCommandSocket::SendREST100, kSendREST100Failed);
}

void CFTPCommandSocket::OnRest100Reply(const std::string& code, const std::string& line) {
  if (code == "350") return Advance(FTPS_REST_SENT, &CFTPCommandSocket::SendREST, kSendRESTFailed);
  // Going on with an earlier run needs the restart.
  if (m_bLearnSize && m_nStart != 0) return m_pManager->OnRestartRefused();
  if (m_nConnection != 1) throw Failure(kREST100Rejected + line);
  m_pManager->m_bSplitAllowed = false;
  Advance(FTPS_RETR_SENT, &CFTPCommandSocket::SendRETR, kSendRETRFailed);
}

// 501 to REST is taken as "nothing to restart" only where nothing needs
// restarting: RETR from offset 0 is then what was asked for. Elsewhere it
// would deliver the file's first bytes as the range's.
void CFTPCommandSocket::OnRestReply(const std::string& code, const std::string& line) {
  if (code == "350" || (code == "501" && m_nStart == 0)) {
    return Advance(FTPS_RETR_SENT, &CFTPCommandSocket::SendRETR, kSendRETRAfterRESTFailed);
  }
  if (m_bLearnSize && m_nStart != 0) return m_pManager->OnRestartRefused();
  throw Failure(kRESTRejected + line);
}

// A data end that came before the opening reply is judged once that reply
// has settled the size, whichever arrived first.
void CFTPCommandSocket::OnRetrReply(const FtpReply& reply) {
  AnswerRetr(reply);
  if (!m_bDataEndWaiting || m_bRetired) return;
  m_bDataEndWaiting = false;
  JudgeDataEnd(m_nDataEndError);
}

// 125 as the first reply says the data connection is open already (a server
// that connected at PORT): the same start as 150. Later it is no reply the
// transfer expects.
void CFTPCommandSocket::AnswerRetr(const FtpReply& reply) {
  const std::string& code = reply.code;
  const std::string& line = reply.lastLine;
  const bool first = !m_bRetrAnswered;
  m_bRetrAnswered = true;
  if (code == "426") {
    if (m_nEnd == -1) throw Failure(kRETRRejected + line);
    return;
  }
  if (code == "226" || code == "250") return ConfirmTransfer();
  if (code == "225") return;
  if (code == "150" || (code == "125" && first)) return LearnSize(reply);
  throw Failure(kRETRRejected + line);
}

void CFTPCommandSocket::ConfirmTransfer() {
  if (m_bTransferConfirmed) return;
  m_bTransferConfirmed = true;
  if (IsDataClosed() && KnownRangeLength() < 0) {
    StopWatch();
    m_pManager->CheckAllDone();
  }
}

// The opening reply's "(N bytes)" wins; without it, the SIZE reply's.
void CFTPCommandSocket::LearnSize(const FtpReply& reply) {
  if (!m_bLearnSize) return;
  const int64_t stated = CheckedSize(ftp_sizes::FromOpeningReply(reply.text), reply.lastLine);
  const int64_t size = stated == ftp_sizes::kNoSize ? m_nSizeReply : stated;
  if (size == ftp_sizes::kNoSize) return;
  m_bLearnSize = false;
  m_pManager->SetFileSize(size, true);
}

void CFTPCommandSocket::UpdateExpected() {
  if (m_pDataSocket) m_pDataSocket->SetExpected(m_nEnd == -1 ? -1 : m_nEnd - m_nStart);
}

void CFTPCommandSocket::ReleaseTempFile() {
  if (m_pDataSocket) m_pDataSocket->ReleaseTempFile();
}

void CFTPCommandSocket::ForgetTempFile() {
  if (m_pDataSocket) m_pDataSocket->ForgetTempFile();
}

void CFTPCommandSocket::CloseAll() {
  m_bRetired = true;
  StopWatch();
  if (m_pDataSocket) {
    m_pDataSocket->Close();
    m_pDataSocket->CloseTempFile();
  }
  if (m_pListenSocket) m_pListenSocket->Close();
  Close();
}

int64_t CFTPCommandSocket::ReceivedBytes() const { return m_pDataSocket ? m_pDataSocket->m_nReceived : 0; }

int64_t CFTPCommandSocket::PieceReceived() const {
  const int64_t length = KnownRangeLength();
  return length >= 0 ? std::min(ReceivedBytes(), length) : ReceivedBytes();
}

int64_t CFTPCommandSocket::PieceWritten() const {
  const int64_t written = m_pDataSocket ? m_pDataSocket->Written() : 0;
  return std::min(written, PieceReceived());
}

bool CFTPCommandSocket::IsDataClosed() const { return m_pDataSocket ? m_pDataSocket->m_bClosed : false; }

std::string CFTPCommandSocket::TempFileName() const { return m_pDataSocket ? m_pDataSocket->m_strTempName : ""; }

int64_t CFTPCommandSocket::KnownRangeLength() const {
  if (m_nEnd != -1) return m_nEnd - m_nStart;
  if (m_pManager->m_nFileSize >= 0) return m_pManager->m_nFileSize - m_nStart;
  return -1;
}

bool CFTPCommandSocket::IsRangeComplete() const {
  if (m_pDataSocket && m_pDataSocket->m_bRangeDone) return true;
  const int64_t length = KnownRangeLength();
  return length >= 0 && ReceivedBytes() >= length;
}

bool CFTPCommandSocket::IsTransferring() const { return m_bRetrAnswered || ReceivedBytes() > 0; }

bool CFTPCommandSocket::AwaitsConfirmation() const { return KnownRangeLength() < 0 && !m_bTransferConfirmed; }

bool CFTPCommandSocket::IsDone() const {
  return HasDataSocket() && IsDataClosed() && (KnownRangeLength() >= 0 || m_bTransferConfirmed);
}

void CFTPCommandSocket::NoteProgress() { m_lastProgress = std::chrono::steady_clock::now(); }

void CFTPCommandSocket::OnDataEnded(int nErrorCode) {
  if (AwaitsOpeningReply()) {
    m_bDataEndWaiting = true;
    m_nDataEndError = nErrorCode;
    return;
  }
  JudgeDataEnd(nErrorCode);
}

// More than the file holds is a failure (the size may have become known
// after the bytes came). A range of known length that fell short is resumed.
// Without a length the end of the data proves nothing: a reset is a failure,
// and a close waits for the server's confirmation, the stall clock still
// running.
void CFTPCommandSocket::JudgeDataEnd(int nErrorCode) {
  if (m_pDataSocket && m_pDataSocket->IsBeyondTheFile()) return OnDataFailed(kMoreThanAnnounced);
  if (KnownRangeLength() < 0) {
    if (nErrorCode != 0) return m_pManager->AbortDownload(kTransferNotConfirmed);
    if (AwaitsConfirmation()) return;
    StopWatch();
    return m_pManager->CheckAllDone();
  }
  StopWatch();
  if (!IsRangeComplete()) m_pManager->OnEndedEarly(this);
  m_pManager->CheckAllDone();
}

void CFTPCommandSocket::OnDataFailed(const std::string& reason) { m_pManager->AbortDownload(reason); }

void CFTPCommandSocket::StartWatch() {
  NoteProgress();
  if (!m_watchTimer) m_watchTimer = std::make_unique<Timer>([this] { CheckStall(); });
  m_watchTimer->Start(WatchInterval(m_pManager->StallSeconds()), true);
}

void CFTPCommandSocket::StopWatch() {
  if (m_watchTimer) m_watchTimer->Stop();
}

// A connection that has made no progress for the stall limit, or whose
// login has outlasted its own, shorter bound, counts as closed early: its
// range goes to a new connection. Connection 1 before any data has nothing
// to hand on, nor has a transfer of unknown length, and the download ends
// with the reason.
void CFTPCommandSocket::CheckStall() {
  const auto now = std::chrono::steady_clock::now();
  int limit = m_pManager->StallSeconds();
  const int loginLimit = std::min(kLoginSeconds, limit);
  if (IsLoggingIn() && now - m_loginStart >= std::chrono::seconds(loginLimit)) {
    limit = loginLimit;
  } else if (now - m_lastProgress < std::chrono::seconds(limit)) {
    return;
  }
  StopWatch();
  if (IsDataClosed() && AwaitsConfirmation()) {
    m_pManager->AbortDownload(kTransferNotConfirmed);
    return;
  }
  if ((m_nConnection == 1 && ReceivedBytes() == 0) || KnownRangeLength() < 0) {
    m_pManager->AbortDownload(Format(IsTransferring() ? kNoData : kNoReply, limit));
    return;
  }
  if (m_pDataSocket && !m_pDataSocket->m_bClosed) {
    m_pDataSocket->FinishData(WSAETIMEDOUT);
    return;
  }
  m_pManager->OnEndedEarly(this);
  m_pManager->CheckAllDone();
}
