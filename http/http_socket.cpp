#include "http/http_socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/http_file_download_manager.h"
#include "http/http_messages.h"
#include "platform/base/failure.h"
#include "platform/files/block_writer.h"
#include "platform/files/file_receiver.h"
#include "platform/loop/timer.h"

namespace {

// Large enough that a fast server is drained in few receives and writes.
constexpr int kReceiveBufferSize = 262144;
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;
// The most one receive takes into the file inside the system.
constexpr int64_t kKernelBlock = 1024 * 1024;
constexpr int kWritesPerFlush = 10;
constexpr int kMaxEarlyCloses = 20;
constexpr int kMaxBarrenResumes = 3;
// A header that has not ended after this much text is not an HTTP header.
constexpr size_t kMaxHeaderText = 65536;
// What waits in memory while a block is being handled; more stays in the
// socket, where the sender is held back instead of this process growing.
constexpr int kMaxDeferred = 65536;
// More receives than a close can leave waiting; only a bound against a
// socket that keeps delivering.
constexpr int kMaxDrainReceives = 1024;

std::string WithoutCR(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The smaller of two counts, -1 standing for none.
int64_t Tighter(int64_t room, int64_t limit) {
  limit = std::max<int64_t>(limit, 0);
  return room == -1 || limit < room ? limit : room;
}

}  // namespace

CHTTPSocket::CHTTPSocket(CHTTPFileDownloadManager* manager) : m_pManager(manager) { CreateTempFile(); }

CHTTPSocket::~CHTTPSocket() = default;

void CHTTPSocket::CreateTempFile() {
  m_strTempName = GetTempFileName(m_pManager->PieceFolder(), kPiecePrefix);
  if (m_strTempName.empty()) {
    const int error = errno;
    m_strTempError = Format(http_messages::kTempFileNotCreated, (m_pManager->PieceFolder() + "/FFFxxxx.TMP").c_str(),
                            error != 0 ? std::strerror(error) : "no free name");
    return;
  }
  std::string reason;
  // The file is new and empty: truncating it again would only make the file
  // system flush it to disk when it is closed, for a piece soon deleted.
  if (!m_file.Open(m_strTempName, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &reason)) {
    m_strTempError = Format(http_messages::kTempFileNotCreated, m_strTempName.c_str(), reason.c_str());
    RemoveTempFile();
  }
}

// What the Host line names: the host as a URL writes it (an IPv6 address
// in brackets) and the port unless it is the scheme's own, so that a server
// that builds its redirects or picks its site from the line sees the right one.
std::string CHTTPSocket::FormatHost(const std::string& host, int port, int defaultPort) {
  std::string text = host.find(':') == std::string::npos ? host : "[" + host + "]";
  if (port != defaultPort) text += ":" + std::to_string(port);
  return text;
}

std::string CHTTPSocket::FormatRequest(const std::string& target, const std::string& host, int port, int defaultPort,
                                       int64_t start, int64_t end) {
  std::string text = Format(http_messages::kRequestLine, target.c_str());
  text += http_messages::kAcceptLine;
  text += Format(http_messages::kHostLine, FormatHost(host, port, defaultPort).c_str());
  // HTTP names a range by its last byte, one before the end offset.
  if (end == -1)
    text += Format(http_messages::kOpenRangeLine, static_cast<long long>(start));
  else
    text += Format(http_messages::kClosedRangeLine, static_cast<long long>(start), static_cast<long long>(end - 1));
  text += http_messages::kUserAgentLine;
  text += http_messages::kRequestEnd;
  return text;
}

int CHTTPSocket::ConnectToServer() {
  if (!Create(0, FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE))
    throw Failure(Format(http_messages::kSocketNotCreated, GetLastError()));
  // The handshake may take as long as a quiet body would.
  if (m_pManager->IsSecure() && !MakeSecure(m_strHost, std::chrono::seconds(m_pManager->StallSeconds())))
    throw Failure(Format(http_messages::kSocketNotCreated, GetLastError()));
  if (!Connect(m_strHost, static_cast<unsigned>(m_nPort))) {
    // A server that cannot be trusted is not asked again: not on this
    // connection, nor on a resumed one.
    const std::string secureFailure = GetSecureFailure();
    if (!secureFailure.empty()) {
      Abort(secureFailure);
      return false;
    }
    throw Failure(Format(http_messages::kCouldNotConnect, m_strHost.c_str(), m_nPort, GetLastError()));
  }
  const bool sent = SendRequest();
  // A failed send is not reported: the close that follows, or the silence,
  // ends the connection like any other.
  StartStallWatch();
  return sent;
}

bool CHTTPSocket::SendRequest() {
  const int defaultPort = m_pManager->IsSecure() ? kHttpsPort : kHttpPort;
  const std::string request = FormatRequest(m_strPath, m_strHost, m_nPort, defaultPort, m_nStart, m_nEnd);
  return Send(request.data(), static_cast<int>(request.size()), 0) != SOCKET_ERROR;
}

void CHTTPSocket::OnReceive(int nErrorCode) {
  if (m_nDepth > 0) {
    DeferBlock();
  } else {
    TakeBlock();
    DeliverDeferred();
  }
  CAsyncSocket::OnReceive(nErrorCode);
}

void CHTTPSocket::OnClose(int nErrorCode) {
  if (m_nDepth > 0) {
    m_bCloseDeferred = true;
    m_nDeferredCloseError = nErrorCode;
    return;
  }
  // Whatever is still waiting belongs to the range: it is kept, not dropped.
  for (int i = 0; i < kMaxDrainReceives && !m_bClosed && !m_bDiscarded; ++i)
    if (!TakeBlock()) break;
  m_strDeferred.clear();
  FinishConnection(nErrorCode);
  CAsyncSocket::OnClose(nErrorCode);
}

void CHTTPSocket::DeliverDeferred() {
  while (!m_strDeferred.empty() && !m_bClosed && !m_bDiscarded) {
    std::string block;
    block.swap(m_strDeferred);
    HandleBytes(block.data(), block.size());
  }
  // Input left in the socket is announced again only after a receive.
  if (m_bInputHeld && !m_bClosed && !m_bDiscarded) {
    m_bInputHeld = false;
    TakeBlock();
  }
  if (m_bCloseDeferred) {
    m_bCloseDeferred = false;
    OnClose(m_nDeferredCloseError);
  }
}

bool CHTTPSocket::TakeBlock() {
  // Decrypted bytes cannot move inside the system.
  if (IsSecure() && !m_bHeaderPending) return TakeDecryptedBody();
  if (TakesBodyInKernel()) return TakeBodyInKernel();
  char buffer[kReceiveBufferSize];
  const int count = Receive(buffer, sizeof buffer, 0);
  if (count <= 0) return false;
  HandleBytes(buffer, static_cast<size_t>(count));
  return true;
}

void CHTTPSocket::DeferBlock() {
  const int room = kMaxDeferred - static_cast<int>(m_strDeferred.size());
  if (room <= 0) {
    m_bInputHeld = true;
    return;
  }
  char buffer[kMaxDeferred];
  const int count = Receive(buffer, room, 0);
  if (count > 0) m_strDeferred.append(buffer, static_cast<size_t>(count));
}

// Once a block has gone the kernel's way every later one does too: the
// bounds below only ever become known, never unknown again, so the file's
// bytes stay in the order of the stream.
bool CHTTPSocket::TakesBodyInKernel() const {
  return !m_bHeaderPending && !m_header.IsChunked() && BodyRoom() >= 0;
}

int64_t CHTTPSocket::AnnouncedRoom() const {
  if (m_header.IsChunked()) return -1;
  int64_t room = -1;
  if (m_header.GetContentLength() >= 0) room = Tighter(room, m_header.GetContentLength() - m_nBodyBytes);
  if (m_nEnd == -1 && m_pManager->m_nFileSize != -1)
    room = Tighter(room, m_pManager->m_nFileSize - m_nStart - m_nReceived);
  return room;
}

int64_t CHTTPSocket::BodyRoom() const {
  const int64_t room = AnnouncedRoom();
  return GetExpectedLength() >= 1 ? Tighter(room, GetExpectedLength() - m_nReceived) : room;
}

// Only what the bounds allow is taken, so no byte past them reaches the
// file; a response with nothing left to bring that still sends is refused.
bool CHTTPSocket::TakeBodyInKernel() {
  const int64_t room = BodyRoom();
  if (room == 0) {
    if (BytesWaiting() > 0) Abort(http_messages::kMoreThanAnnounced);
    return false;
  }
  int64_t taken = 0;
  try {
    if (!m_receiver) m_receiver = std::make_unique<CFileReceiver>(m_file);
    taken = ReceiveToFile(*m_receiver, std::min(room, kKernelBlock));
  } catch (const CFileException& error) {
    Abort(Format(http_messages::kTempFileNotWritten, m_strTempName.c_str(), error.m_strReason.c_str()));
    return false;
  }
  if (taken <= 0) return false;
  const std::optional<BodyBlock> block = CountBody(taken, taken);
  if (block && block->finished) FinishConnection(0);
  return true;
}

// As the kernel path, a bounded body is read no further than its bounds;
// the rest goes by the checks of a block read into memory. The block stays
// in the writer's buffer and is handed over whole when written.
bool CHTTPSocket::TakeDecryptedBody() {
  const int64_t room = m_header.IsChunked() ? -1 : BodyRoom();
  if (room == 0) {
    if (BytesWaiting() > 0) Abort(http_messages::kMoreThanAnnounced);
    return false;
  }
  const int64_t limit = room == -1 ? static_cast<int64_t>(CBlockWriter::kBlockSize)
                                   : std::min<int64_t>(room, CBlockWriter::kBlockSize);
  char* buffer = nullptr;
  try {
    buffer = Writer().Buffer();
  } catch (const CFileException& error) {
    Abort(Format(http_messages::kTempFileNotWritten, m_strTempName.c_str(), error.m_strReason.c_str()));
    return false;
  }
  const int count = Receive(buffer, static_cast<int>(limit), 0);
  if (count <= 0) return false;
  HandleBytes(buffer, static_cast<size_t>(count));
  return true;
}

CBlockWriter& CHTTPSocket::Writer() {
  if (!m_writer) m_writer = std::make_unique<CBlockWriter>(m_file);
  return *m_writer;
}

void CHTTPSocket::HandleBytes(char* data, size_t length) {
  if (m_bClosed || m_bDiscarded) return;
  ++m_nDepth;
  if (m_bHeaderPending) {
    m_strHeaderText.append(data, length);
    std::string body;
    const HeaderStep step = TakeHeader(body);
    // The stall clock measures the body from here: header lines trickling
    // in do not hold it back.
    if (step != HeaderStep::kPending) m_lastProgress = std::chrono::steady_clock::now();
    if (step == HeaderStep::kBody) ConsumeBody(body.data(), body.size());
    if (step != HeaderStep::kPending) m_pManager->MarkRateBase();
  } else {
    ConsumeBody(data, length);
  }
  --m_nDepth;
}

// The earlier of LF LF and LF CR LF ends the header: after an LF-only
// header, the body may well hold LF CR LF. The text is scanned once, however
// it arrives: the scan goes on where the last one stopped.
size_t CHTTPSocket::FindHeaderEnd(size_t from, size_t& separator) {
  const std::string& text = m_strHeaderText;
  for (size_t lf = text.find('\n', std::max(from, m_nHeaderScanned)); lf != std::string::npos;
       lf = text.find('\n', lf + 1)) {
    if (lf + 1 < text.size() && text[lf + 1] == '\n') {
      separator = 2;
      return lf;
    }
    if (lf + 2 < text.size() && text[lf + 1] == '\r' && text[lf + 2] == '\n') {
      separator = 3;
      return lf;
    }
    // Too little after this LF to tell: the next scan starts here.
    if (lf + 2 >= text.size()) {
      m_nHeaderScanned = lf;
      return std::string::npos;
    }
  }
  m_nHeaderScanned = text.size();
  return std::string::npos;
}

// Interim responses are passed over where they stand; the text is cut once,
// so that a flood of them costs no more than their bytes.
CHTTPSocket::HeaderStep CHTTPSocket::TakeHeader(std::string& body) {
  size_t begin = 0;
  while (m_bHeaderPending) {
    size_t separator = 0;
    const size_t at = FindHeaderEnd(begin, separator);
    if (at == std::string::npos) {
      m_strHeaderText.erase(0, begin);
      m_nHeaderScanned -= std::min(begin, m_nHeaderScanned);
      if (m_strHeaderText.size() <= kMaxHeaderText) return HeaderStep::kPending;
      Abort(http_messages::kCouldNotUnderstandHeader);
      return HeaderStep::kStop;
    }
    const std::string header = m_strHeaderText.substr(begin, at - begin);
    begin = at + separator;
    m_bHeaderPending = false;
    OnHeaderComplete(header);
  }
  body = m_strHeaderText.substr(begin);
  m_strHeaderText.clear();
  m_nHeaderScanned = 0;
  if (m_bClosed || m_bDiscarded) return HeaderStep::kStop;
  if (m_bEmptyRemainder) {
    FinishConnection(0);
    return HeaderStep::kStop;
  }
  return HeaderStep::kBody;
}

void CHTTPSocket::OnHeaderComplete(const std::string& header) {
  const HeaderResult result = m_header.Parse(header);
  if (m_bLearnSize && !m_pManager->AcceptFirstResponse(m_header)) return;
  switch (result) {
    case HDR_OK:
      ActOnSuccess();
      break;
    case HDR_BAD:
      Abort(m_header.GetError());
      break;
    case HDR_REDIRECT:
      ActOnRedirect();
      break;
    case HDR_NOT_FOUND:
      Abort(http_messages::kFileNotFound);
      break;
    case HDR_AUTH:
      Abort(http_messages::kAuthNotSupported);
      break;
    case HDR_NOT_MODIFIED:
      Abort(http_messages::kNotModified);
      break;
    case HDR_FAILED:
      ActOnFailedStatus();
      break;
    case HDR_INTERIM:
      m_header = CHTTPResponseHeader();
      m_bHeaderPending = true;
      break;
  }
}

void CHTTPSocket::ActOnSuccess() {
  if (!StartsWhereAsked() || !m_header.IsRangeConsistent()) {
    Abort(http_messages::kSiteNotConsistent);
    return;
  }
  if (!m_bLearnSize) {
    if (!m_pManager->IsSameFile(m_header)) Abort(http_messages::kFileChanged);
    return;
  }
  m_pManager->RememberFile(m_header);
  const int64_t size = m_header.GetStatus() == 206 && m_header.GetRangeTotal() >= 0 ? m_header.GetRangeTotal()
                                                                                    : m_header.GetContentLength();
  if (size != -1) m_pManager->SetFileSize(size, m_header.IsRangeSupported());
}

// The body must start where the range does: a server that sends another
// range, the whole file for a range further in, or a part without saying
// where it starts would scramble the file.
bool CHTTPSocket::StartsWhereAsked() const {
  if (m_header.GetStatus() != 206) return m_nStart == 0;
  const int64_t first = m_header.GetRangeFirst();
  return first == m_nStart || (first == -1 && m_nStart == 0);
}

// The manager hands the download on and ends every connection of its own,
// this one too: a redirect's body never reaches a piece.
void CHTTPSocket::ActOnRedirect() {
  if (Trim(m_header.GetLocation()).empty()) {
    Abort(http_messages::kRequestFailed + WithoutCR(m_header.m_strStatusLine));
    return;
  }
  m_pManager->OnRedirect(m_header.GetLocation());
}

void CHTTPSocket::ActOnFailedStatus() {
  const int status = m_header.GetStatus();
  const int64_t total = m_header.GetRangeTotal();
  const int64_t size = m_pManager->m_nFileSize;
  if (status == 416 && total != -1 && size != -1 && total != size) {
    Abort(http_messages::kFileChanged);
    return;
  }
  // "Nothing satisfiable from here on" for an open range that starts at the
  // end of the file: the range is complete, not failed.
  if (status == 416 && m_nEnd == -1 && total == m_nStart) {
    if (m_bLearnSize) m_pManager->SetFileSize(m_nStart, false);
    m_bEmptyRemainder = true;
    return;
  }
  // A server that allows fewer connections refuses the later ones: their
  // ranges wait for one of the others to end.
  if ((status == 503 || status == 429) && !m_bLearnSize) {
    EndRefused();
    return;
  }
  Abort(http_messages::kRequestFailed + m_header.GetError());
}

void CHTTPSocket::EndRefused() {
  if (m_stallTimer) m_stallTimer->Stop();
  Close();
  m_bClosed = true;
  m_file.Abort();
  RemoveTempFile();
  m_pManager->PostponeRange(m_nStart, m_nEnd, m_nEarlyCloses, m_nBarrenResumes, m_nLoneRefusals,
                            m_header.GetRetryAfter(), m_header.GetError());
  m_pManager->CheckAllDone();
}

void CHTTPSocket::ConsumeBody(char* data, size_t length) {
  size_t count = length;
  if (m_header.IsChunked()) {
    count = m_decoder.Decode(data, length);
    if (m_decoder.IsBroken()) {
      Abort(http_messages::kBadChunkedBody);
      return;
    }
  }
  const std::optional<BodyBlock> block = CountBody(static_cast<int64_t>(length), static_cast<int64_t>(count));
  if (!block || !WriteBody(data, static_cast<size_t>(block->kept))) return;
  if (block->finished) FinishConnection(0);
}

std::optional<CHTTPSocket::BodyBlock> CHTTPSocket::CountBody(int64_t sent, int64_t decoded) {
  m_nBodyBytes += sent;
  m_nReceived += decoded;
  if (ExceedsAnnounced()) {
    Abort(http_messages::kMoreThanAnnounced);
    return std::nullopt;
  }
  if (decoded > 0) m_lastProgress = std::chrono::steady_clock::now();
  BodyBlock block{decoded, false};
  const int64_t expected = GetExpectedLength();
  if (expected >= 1 && m_nReceived >= expected) {
    block.kept -= m_nReceived - expected;
    m_nReceived = expected;
    block.finished = true;
  }
  if (BodyComplete()) block.finished = true;
  if (block.finished) {
    if (OverrunWaiting()) {
      Abort(http_messages::kMoreThanAnnounced);
      return std::nullopt;
    }
    Close();
  }
  m_pManager->AddReceived(block.kept, m_nConnection, m_nReceived);
  if (m_pManager->m_bAborted) return std::nullopt;
  return block;
}

// More body than the Content-Length, or an open range that runs past the
// size of the file: the server's bytes cannot be trusted. (A server that
// sends on past a closed range is cut off at its end.)
bool CHTTPSocket::ExceedsAnnounced() const {
  const int64_t length = m_header.GetContentLength();
  if (!m_header.IsChunked() && length >= 0 && m_nBodyBytes > length) return true;
  const int64_t size = m_pManager->m_nFileSize;
  return m_nEnd == -1 && size != -1 && m_nStart + m_nReceived > size;
}

// What is already waiting when the response is complete must fit in what
// it announced: a server that sends on was not sending this file.
bool CHTTPSocket::OverrunWaiting() const {
  const int64_t room = AnnouncedRoom();
  return room >= 0 && BytesWaiting() > room;
}

bool CHTTPSocket::BodyComplete() const {
  if (m_header.IsChunked()) return m_decoder.IsDone();
  const int64_t length = m_header.GetContentLength();
  return length >= 0 && m_nBodyBytes >= length;
}

bool CHTTPSocket::WriteBody(const char* data, size_t length) {
  try {
    // Every body byte of a secure connection goes the writer's way, so that
    // the file keeps the order of the stream.
    if (IsSecure()) {
      Writer().Write(data, length);
      return true;
    }
    m_file.Write(data, length);
    if (++m_nWritesSinceFlush >= kWritesPerFlush) {
      m_file.Flush();
      m_nWritesSinceFlush = 0;
    }
  } catch (const CFileException& error) {
    Abort(Format(http_messages::kTempFileNotWritten, m_strTempName.c_str(), error.m_strReason.c_str()));
    return false;
  }
  return true;
}

int64_t CHTTPSocket::GetExpectedLength() const { return m_nEnd == -1 ? -1 : m_nEnd - m_nStart; }

int64_t CHTTPSocket::WantedLength() const {
  if (m_nEnd != -1) return m_nEnd - m_nStart;
  if (m_pManager->m_nFileSize != -1) return m_pManager->m_nFileSize - m_nStart;
  return m_nReceived;
}

// Ended without all of its body though the length gives no sign of it: no
// complete header, a chunked body before its last chunk, or silence.
bool CHTTPSocket::IsCutShort() const {
  if (m_bStalled || m_bHeaderPending) return true;
  return m_header.IsChunked() && !m_decoder.IsDone() && !m_bEmptyRemainder;
}

void CHTTPSocket::FinishConnection(int nErrorCode) {
  if (m_bClosed || m_bDiscarded) return;
  if (m_stallTimer) m_stallTimer->Stop();
  Close();
  const bool lengthKnown = m_nEnd != -1 || m_pManager->m_nFileSize != -1;
  const bool missing = m_nReceived < WantedLength() || IsCutShort();
  // A reset, or a secure stream that ends without the server's close_notify,
  // leaves a range of unknown length in doubt; a known one is resumed only
  // when bytes are missing.
  const bool cut = nErrorCode == WSAECONNRESET || nErrorCode == WSAECONNABORTED;
  const bool resume = !m_pManager->m_bAborted && (missing || (cut && !lengthKnown));
  m_bClosed = true;
  try {
    if (m_receiver) m_receiver->Finish();
    if (m_writer) m_writer->Finish();
    m_file.Close();
  } catch (const CFileException& error) {
    Abort(Format(http_messages::kTempFileNotWritten, m_strTempName.c_str(), error.m_strReason.c_str()));
    return;
  }
  // A piece that holds nothing is of no use to the join.
  if (m_nReceived == 0) RemoveTempFile();
  if (resume) ResumeRest();
  m_pManager->CheckAllDone();
}

// A reset counts like a close: a server that resets after every byte would
// otherwise be asked again for ever. Resumes that keep bringing nothing
// would go on for ever against a server that answers every connection with
// a close: they have a limit of their own, however the connection ended.
void CHTTPSocket::ResumeRest() {
  const int barrenResumes = m_nReceived > 0 ? 0 : m_nBarrenResumes + (m_bResumed ? 1 : 0);
  if (barrenResumes >= kMaxBarrenResumes) {
    Abort(http_messages::kNoProgress);
    return;
  }
  if (m_nEarlyCloses >= kMaxEarlyCloses) {
    Abort(http_messages::kTooManyEarlyCloses);
    return;
  }
  m_pManager->ResumeRange(m_nStart + m_nReceived, m_nEnd, m_nEarlyCloses + 1, barrenResumes);
}

void CHTTPSocket::StartStallWatch() {
  m_lastProgress = std::chrono::steady_clock::now();
  if (!m_stallTimer) m_stallTimer = std::make_unique<Timer>([this] { OnStallCheck(); });
  m_stallTimer->Start(std::chrono::seconds(m_pManager->StallSeconds()), false);
}

void CHTTPSocket::OnStallCheck() {
  if (m_bClosed || m_bDiscarded) return;
  const auto limit = std::chrono::seconds(m_pManager->StallSeconds());
  const auto quiet = std::chrono::steady_clock::now() - m_lastProgress;
  if (quiet < limit || m_nDepth > 0) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(limit - quiet);
    m_stallTimer->Start(std::max(wait, std::chrono::milliseconds(10)), false);
    return;
  }
  m_bStalled = true;
  FinishConnection(WSAETIMEDOUT);
}

void CHTTPSocket::Discard() {
  m_bDiscarded = true;
  if (m_stallTimer) m_stallTimer->Stop();
  Close();
  m_receiver.reset();
  m_writer.reset();
  m_file.Abort();
  RemoveTempFile();
}

int64_t CHTTPSocket::GetWritten() const {
  // Not the file's length: a piece that became the join's new file has
  // other pieces' bytes past its own.
  if (m_bClosed) return m_nReceived;
  // Decrypted bytes reach the file through the writer's thread, in their
  // own time, as the kernel's do through the receiver.
  const int64_t pending = m_receiver ? m_receiver->Pending() : m_writer ? m_writer->Pending() : 0;
  return m_nReceived - pending;
}

void CHTTPSocket::HandOverTempFile(const std::string& newName) {
  m_strTempName = newName;
  m_bOwnsTempFile = false;
}

void CHTTPSocket::RemoveTempFile() {
  if (m_strTempName.empty() || !m_bOwnsTempFile) return;
  try {
    CFile::Remove(m_strTempName);
  } catch (const CFileException&) {
  }
  m_strTempName.clear();
}

void CHTTPSocket::Abort(const std::string& reason) { m_pManager->AbortDownload(reason); }
