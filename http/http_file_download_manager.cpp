#include "http/http_file_download_manager.h"

#include <algorithm>
#include <cctype>

#include "app/app_messages.h"
#include "app/https_switch.h"
#include "app/kestrion_app.h"
#include "engine/engine_messages.h"
#include "http/http_messages.h"
#include "http/http_response_header.h"
#include "http/http_socket.h"
#include "http/location_resolver.h"
#include "http/request_target.h"
#include "platform/loop/event_loop.h"
#include "platform/loop/timer.h"
#include "platform/base/failure.h"
#include "platform/files/file.h"
#include "platform/files/file_copy.h"
#include "platform/files/orphan_pieces.h"
#include "platform/net/tls_channel.h"
#include "platform/ui/ui.h"

namespace {

constexpr int64_t kSplitThreshold = 50000;
constexpr int kSplitConnections = 3;
constexpr int kMaxRedirects = 20;
// A missing range is shared among connections only down to this size.
constexpr int64_t kMinShare = 64 * 1024;

// A refused range is asked again no sooner than this when none of the
// download's connections is left to wait for: the server may not yet have
// noticed that the others have ended.
constexpr auto kLoneRetryDelay = std::chrono::seconds(1);
// Refusals in a row, with no other connection running, after which the
// server is taken to refuse the download.
constexpr int kMaxLoneRefusals = 3;

bool HasScheme(const std::string& url, const std::string& scheme) {
  if (url.size() <= scheme.size() || url[scheme.size()] != ':') return false;
  for (size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
  return true;
}

}  // namespace

CHTTPFileDownloadManager::CHTTPFileDownloadManager() : m_join(*this, m_continuation, IsCancelled) { m_nPort = 80; }

// Runs on the manager's thread, whose loop the sockets and timers belong to.
CHTTPFileDownloadManager::~CHTTPFileDownloadManager() { m_owned.clear(); }

bool CHTTPFileDownloadManager::TakeLocation(const std::string& url) {
  m_strURL = url;
  if (!ParseURL()) return false;
  m_requestTarget = EncodeLocationTarget(m_strObject);
  return true;
}

bool CHTTPFileDownloadManager::StartDownload(Event* pDoneEvent) {
  if (!m_requestTarget) m_requestTarget = EncodeRequestTarget(m_strObject);
  m_nStallSeconds = ReadStallSeconds();
  NewConnection(0, -1, true, 1);
  return CFileDownloadManager::StartDownload(pDoneEvent);
}

bool CHTTPFileDownloadManager::InitInstance() {
  if (!CFileDownloadManager::InitInstance() || m_connections.empty()) return false;
  const std::string folder = PieceFolder();
  // Found out now rather than after the whole file has come down.
  if (!CheckDestinationFolder(http_messages::kOutputNotCreated)) {
    AbortDownload(m_strDestinationError);
    return false;
  }
  CHTTPSocket* first = m_connections.front();
  // The first piece was made with the thread; a destination chosen now
  // (or a folder that was not there) needs it made again.
  if (PieceFolder() != folder || !first->HasTempFile()) {
    first->Discard();
    m_connections.clear();
    first = NewConnection(0, -1, true, 1);
  }
  if (!m_bBackground) {
    // The banner updater's own temp files share the prefix: its downloads
    // leave the folder alone.
    RemoveOrphanPieces(PieceFolder(), kPiecePrefix);
    m_continuation.Open(m_strDestination);
  }
  first->m_nStart = TakeUpEarlierRun();
  if (!first->HasTempFile()) {
    AbortDownload(first->GetTempFileError());
    return false;
  }
  try {
    first->ConnectToServer();
  } catch (const Failure& failure) {
    // A connect cut short by Cancel is no failure to report, and a
    // background download reports nothing.
    if (!m_bBackground && !EventLoop::ForThisThread().QuitPending()) AfxMessageBox(failure.Text(), MB_OK);
    return false;
  }
  return true;
}

int CHTTPFileDownloadManager::ExitInstance() {
  if (!m_bCompleting && !m_bRedirected && !m_bKept) EndInterrupted();
  DiscardAll();
  // Before the waiter is released: the process may end right after.
  if (IsSecure()) EndTlsOnThisThread();
  return CFileDownloadManager::ExitInstance();
}

CHTTPSocket* CHTTPFileDownloadManager::NewConnection(int64_t start, int64_t end, bool learnSize, int number) {
  auto connection = std::make_unique<CHTTPSocket>(this);
  connection->m_strPath = *m_requestTarget;
  connection->m_nPort = m_nPort;
  connection->m_strHost = m_strServer;
  connection->m_nStart = start;
  connection->m_nEnd = end;
  connection->m_bLearnSize = learnSize;
  connection->m_nConnection = number;
  CHTTPSocket* raw = connection.get();
  m_owned.push_back(std::move(connection));
  m_connections.push_back(raw);
  return raw;
}

void CHTTPFileDownloadManager::ConnectOrAbort(CHTTPSocket* connection) {
  if (!connection->HasTempFile()) {
    AbortDownload(connection->GetTempFileError());
    return;
  }
  try {
    connection->ConnectToServer();
  } catch (const Failure& failure) {
    AbortDownload(failure.Text());
  }
}

void CHTTPFileDownloadManager::OnSizeKnown() {
  if (m_nEarlierSize != -1) {
    FetchMissingRanges();
    return;
  }
  if (m_nFileSize > kSplitThreshold && m_bSplitAllowed) AddConnections(kSplitConnections);
}

void CHTTPFileDownloadManager::AddConnections(int n) {
  if (m_nFileSize == -1 || m_connections.empty()) return;
  StartJoining();
  const int64_t done = TotalReceived();
  const int64_t share = (m_nFileSize - done) / (n + 1);
  m_connections.front()->m_nEnd = done + share;
  int64_t pos = done + share;
  const int k = static_cast<int>(m_connections.size());
  for (int i = 1; i <= n && !m_bAborted; ++i) {
    const int64_t end = i < n ? pos + share : m_nFileSize;
    CHTTPSocket* connection = NewConnection(pos, end, false, k + i);
    pos = end;
    ConnectOrAbort(connection);
  }
}

void CHTTPFileDownloadManager::ResumeRange(int64_t start, int64_t end, int earlyCloses, int barrenResumes,
                                           int loneRefusals) {
  if (m_bAborted) return;
  // Pieces of ended connections go into place as they end, so that a
  // server that ends every connection early leaves few on disk.
  StartJoining();
  CHTTPSocket* connection =
      NewConnection(start, end, false, static_cast<int>(m_connections.size()) + 1);
  connection->m_nEarlyCloses = earlyCloses;
  connection->m_nBarrenResumes = barrenResumes;
  connection->m_nLoneRefusals = loneRefusals;
  connection->m_bResumed = true;
  ConnectOrAbort(connection);
}

void CHTTPFileDownloadManager::RememberFile(const CHTTPResponseHeader& header) {
  m_strETag = header.GetETag();
  m_strLastModified = header.GetLastModified();
}

// What either response leaves out cannot be compared; what both give must agree.
bool CHTTPFileDownloadManager::IsSameFile(const CHTTPResponseHeader& header) const {
  auto agree = [](const std::string& first, const std::string& later) {
    return first.empty() || later.empty() || first == later;
  };
  const int64_t total = header.GetFileTotal();
  if (m_nFileSize != -1 && total != -1 && total != m_nFileSize) return false;
  return agree(m_strETag, header.GetETag()) && agree(m_strLastModified, header.GetLastModified());
}

void CHTTPFileDownloadManager::PostponeRange(int64_t start, int64_t end, int earlyCloses, int barrenResumes,
                                             int loneRefusals, int64_t retryAfterSeconds, const std::string& refusal) {
  if (m_bAborted) return;
  const int running = RunningConnections();
  loneRefusals = running == 0 ? loneRefusals + 1 : 0;
  if (loneRefusals >= kMaxLoneRefusals) {
    AbortDownload(http_messages::kRequestFailed + refusal);
    return;
  }
  auto wait = std::chrono::seconds(std::clamp<int64_t>(retryAfterSeconds, 0, m_nStallSeconds));
  if (running == 0) wait = std::max<std::chrono::seconds>(wait, kLoneRetryDelay);
  m_waiting.push_back(
      {start, end, earlyCloses, barrenResumes, loneRefusals, std::chrono::steady_clock::now() + wait, running});
}

int CHTTPFileDownloadManager::RunningConnections() const {
  return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                        [](const CHTTPSocket* connection) { return !connection->IsClosed(); }));
}

// A refused range starts once its wait is over and fewer connections run
// than did when it was refused: one of them has freed its place. With
// none running, it starts all the same.
void CHTTPFileDownloadManager::StartWaitingRanges() {
  if (m_retryTimer) m_retryTimer->Stop();
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 0; i < m_waiting.size() && !m_bAborted;) {
    const WaitingRange range = m_waiting[i];
    const int running = RunningConnections();
    if (running > 0 && running >= range.runningWhenRefused) {
      ++i;
      continue;
    }
    if (range.notBefore > now) {
      if (!m_retryTimer) m_retryTimer = std::make_unique<Timer>([this] { CheckAllDone(); });
      m_retryTimer->Start(std::chrono::duration_cast<std::chrono::milliseconds>(range.notBefore - now) +
                              std::chrono::milliseconds(1),
                          false);
      return;
    }
    m_waiting.erase(m_waiting.begin() + static_cast<std::ptrdiff_t>(i));
    ResumeRange(range.start, range.end, range.earlyCloses, range.barrenResumes, range.loneRefusals);
  }
}

void CHTTPFileDownloadManager::CheckAllDone() {
  std::lock_guard<std::recursive_mutex> lock(m_csCompletion);
  if (m_bCompleting) return;
  JoinWrittenBytes();
  StartWaitingRanges();
  if (!m_waiting.empty()) return;
  for (const CHTTPSocket* connection : m_connections)
    if (!connection->IsClosed()) return;
  m_bCompleting = true;
  OnDownloadComplete();
}

void CHTTPFileDownloadManager::OnDownloadComplete() {
  if (m_bAborted) {
    PostQuit();
    return;
  }
  if (!m_bSignalOnExit) {
    if (m_bBackground && !m_bRedirected) {
      if (JoinTempFiles()) ReportSuccess();
      Stop();
    }
    PostQuit();
    return;
  }
  const bool ok = JoinTempFiles();
  Stop();
  if (ok) {
    ReportSuccess();
    AfxMessageBox(Format(http_messages::kCompleted, m_strObject.c_str()), MB_ICONINFORMATION);
  } else if (IsCancelled()) {
    // A join the user cut short is no failure to report.
  } else if (!m_strJoinError.empty()) {
    AfxMessageBox(Format(http_messages::kDownloadAborted, m_strJoinError.c_str()), MB_OK);
  } else {
    AfxMessageBox(Format(http_messages::kConcatProblem, m_strObject.c_str()), MB_OK);
  }
  PostQuit();
}

// Only the whole file gets the destination's name: a join that fails or
// falls short leaves the destination as it was.
bool CHTTPFileDownloadManager::JoinTempFiles() {
  m_strJoinError.clear();
  if (!m_join.IsOpen() && !OpenDestination(m_join.Joiner(), http_messages::kOutputNotCreated)) {
    m_strJoinError = m_strDestinationError;
    return false;
  }
  try {
    if (!m_join.PutRestInPlace(m_nFileSize)) {
      m_join.Abort();
      m_continuation.Remove();
      return false;
    }
    m_join.Joiner().Commit();
  } catch (const CFileException& error) {
    m_strJoinError = JoinErrorText(error);
    // A signal that keeps the download may cut the join short: the bytes
    // recorded last are in place still.
    if (IsCancelled() && TheApp().KeepsDownloadOnEnd()) {
      m_join.Joiner().Keep();
      MarkKept();
    } else {
      m_join.Abort();
      m_continuation.Remove();
    }
    return false;
  }
  // Renamed into place before the journal goes: a run ended between the two
  // finds the new file gone and starts again.
  m_continuation.Remove();
  if (!m_bBackground) RemoveOrphanPieces(PieceFolder(), kPiecePrefix);
  return true;
}

// Once the download is split, the pieces go into the new file beside the
// destination as they are written. Where the destination cannot be made
// without asking, all waits for the end.
void CHTTPFileDownloadManager::StartJoining() {
  if (m_bAborted || m_bRedirected || m_connections.empty()) return;
  m_join.Start(m_strDestination, m_connections.front());
}

void CHTTPFileDownloadManager::JoinWrittenBytes() {
  if (m_bAborted) return;
  try {
    m_join.PutWritten();
  } catch (const CFileException& error) {
    AbortDownload(JoinErrorText(error));
  }
}

std::string CHTTPFileDownloadManager::JoinErrorText(const CFileException& error) const {
  const bool writing = error.m_strFileName == m_strDestination;
  return Format(writing ? http_messages::kDestinationNotWritten : http_messages::kPieceNotRead,
                error.m_strFileName.c_str(), error.m_strReason.c_str());
}

int64_t CHTTPFileDownloadManager::TotalReceived() const {
  int64_t total = 0;
  for (const CHTTPSocket* connection : m_connections) total += connection->GetReceived();
  return total;
}

void CHTTPFileDownloadManager::AbortDownload(const std::string& reason) {
  const bool first = !m_bAborted;
  // A failure keeps what came, and so does an end by SIGTERM or SIGHUP that
  // cuts a connection short; the user's Cancel does not.
  if (first && (!EventLoop::ForThisThread().QuitPending() || TheApp().KeepsDownloadOnEnd())) KeepForLater();
  m_bAborted = true;
  DiscardAll();
  // One report per download, and none after the download was handed on or
  // when the user's Cancel is what ended it.
  if (first && !m_bBackground && !m_bRedirected && !EventLoop::ForThisThread().QuitPending())
    AfxMessageBox(Format(http_messages::kDownloadAborted, reason.c_str()), MB_OK);
  PostQuit();
}

// Whatever becomes of the location, this manager's own connections end
// here: a redirect's body never reaches a piece.
void CHTTPFileDownloadManager::OnRedirect(const std::string& location) {
  // One hand-off per download: a second redirect (on another connection)
  // would start a second download into the same file.
  if (m_bRedirected || m_bAborted) return;
  if (++TheApp().m_nRedirectCount > kMaxRedirects) {
    AbortDownload(http_messages::kTooManyRedirects);
    return;
  }
  const std::string target = ResolveLocation(RequestURL(), location);
  // A download begun over a verified channel never ends in clear text.
  for (const char* clear : {"http", "ftp"}) {
    if (IsSecure() && HasScheme(target, clear)) {
      AbortDownload(Format(http_messages::kRefusedRedirectFromHttps, clear));
      return;
    }
  }
  // https goes on here only while the switch allows it; otherwise the
  // application refuses it as it refuses any scheme it does not support.
  if (HasScheme(target, "http") || (HasScheme(target, "https") && IsHttpsAllowed()))
    FollowHere(target);
  else if (m_bBackground)
    AbortDownload(target);
  else
    HandToApplication(target);
  if (!m_bAborted) EndHandedOn();
}

// The application unescapes what it is given, as it does a command line:
// an FTP path goes out decoded.
void CHTTPFileDownloadManager::HandToApplication(const std::string& target) {
  m_bSignalOnExit = false;
  bool started = false;
  try {
    started = TheApp().StartFromURL(target, TheApp().m_strParam2);
  } catch (const Failure& failure) {
    // Nobody else will release the main thread: this manager still must.
    m_bSignalOnExit = true;
    AbortDownload(failure.Text());
    return;
  }
  if (!started) {
    // The new manager has said why already.
    m_bSignalOnExit = true;
    m_bRedirected = true;
    AbortDownload("");
  }
}

// An http location is fetched by a manager made here, which asks for its
// path with the escapes the server wrote: the application would unescape
// them first.
void CHTTPFileDownloadManager::FollowHere(const std::string& target) {
  auto* next = new CHTTPFileDownloadManager();
  if (!next->TakeLocation(target)) {
    delete next;
    AbortDownload(Format(app_messages::kUnreadableURL, target.c_str()));
    return;
  }
  next->m_strDestination = m_strDestination;
  next->m_bBackground = m_bBackground;
  next->m_pUpdater = m_pUpdater;
  const bool background = m_bBackground;
  // This manager must no longer release the waiter: the new one will.
  m_bRedirected = true;
  m_bBackground = false;
  m_bSignalOnExit = false;
  if (!background) TheApp().m_pManager = next;
  if (!next->StartDownload(m_hDoneEvent)) {
    delete next;
    if (!background) TheApp().m_pManager = nullptr;
    m_bBackground = background;
    m_bSignalOnExit = !background;
    AbortDownload("");
  }
}

void CHTTPFileDownloadManager::EndHandedOn() {
  m_bRedirected = true;
  DiscardAll();
  PostQuit();
}

std::string CHTTPFileDownloadManager::RequestURL() const {
  const size_t authority = m_strURL.find("://");
  const size_t object = authority == std::string::npos ? std::string::npos : m_strURL.find_first_of("/?#", authority + 3);
  return m_strURL.substr(0, object) + m_requestTarget.value_or(m_strObject);
}

void CHTTPFileDownloadManager::DiscardAll() {
  m_restartTimer.reset();
  m_waiting.clear();
  if (m_retryTimer) m_retryTimer->Stop();
  for (CHTTPSocket* connection : m_connections) connection->Discard();
  m_connections.clear();
  m_join.Abort();
}

void CHTTPFileDownloadManager::PostQuit() { PostThreadMessage(WM_QUIT); }

int64_t CHTTPFileDownloadManager::TakeUpEarlierRun() {
  const CDownloadJournal* earlier = TakeUpEarlierJoin(m_join);
  if (!earlier) return 0;
  m_nEarlierSize = m_nFileSize = earlier->m_nSize;
  m_strETag = earlier->m_strETag;
  m_strLastModified = earlier->m_strLastModified;
  return earlier->FirstByteToAsk();
}

bool CHTTPFileDownloadManager::AcceptFirstResponse(const CHTTPResponseHeader& header) {
  const int status = header.GetStatus();
  if (status != 200 && status != 206 && status != 416) return true;
  if (m_nEarlierSize == -1) {
    // What was left for another URL, or damaged, goes once this URL shows
    // a file: a redirect leaves it for the manager that follows it. Only
    // the damage is worth a word: another URL is another download.
    if (status != 416 && m_continuation.FoundOther(m_strURL)) {
      const bool damaged = m_continuation.FoundDamaged();
      m_continuation.DiscardEarlier();
      if (damaged && !m_bBackground) AfxMessageBox(engine_messages::kEarlierRunDamaged, MB_OK);
    }
    return true;
  }
  if (status == 206 && header.GetRangeFirst() == m_connections.front()->GetStart() &&
      header.GetRangeTotal() == m_nEarlierSize && IsSameFile(header))
    return true;
  StartAgain(status == 200 ? engine_messages::kCannotGoOn : engine_messages::kFileChangedSinceLastRun);
  return false;
}

// Everything of the earlier run goes, and the download starts from 0 on a
// new first connection, connected once the caller's notification is over.
void CHTTPFileDownloadManager::StartAgain(const char* why) {
  m_nEarlierSize = -1;
  m_nFileSize = -1;
  m_strETag.clear();
  m_strLastModified.clear();
  for (CHTTPSocket* connection : m_connections) connection->Discard();
  m_connections.clear();
  m_join.Abort();
  m_continuation.DiscardEarlier();
  m_nReceived = m_nRateBaseBytes = 0;
  CHTTPSocket* first = NewConnection(0, -1, true, 1);
  m_restartTimer = std::make_unique<Timer>([this, first, why] {
    if (!m_bBackground) AfxMessageBox(why, MB_OK);
    ConnectOrAbort(first);
  });
  m_restartTimer->Start(std::chrono::milliseconds(0), false);
}

void CHTTPFileDownloadManager::FetchMissingRanges() {
  CDownloadJournal plan;
  plan.m_nSize = m_nFileSize;
  plan.m_done = m_join.InPlace();
  const std::vector<ByteRange> ranges =
      CDownloadJournal::Spread(plan.Missing(), kSplitConnections + 1, kMinShare);
  StartJoining();
  CHTTPSocket* first = m_connections.front();
  first->m_nEnd = ranges.empty() ? m_nFileSize : ranges.front().end;
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 1; i < ranges.size() && !m_bAborted; ++i) {
    if (i <= kSplitConnections)
      ConnectOrAbort(NewConnection(ranges[i].begin, ranges[i].end, false, static_cast<int>(i) + 1));
    else
      m_waiting.push_back({ranges[i].begin, ranges[i].end, 0, 0, 0, now, kSplitConnections + 1});
  }
}

CInPlaceJoin::Pieces CHTTPFileDownloadManager::JoinPieces() const {
  return {m_connections.begin(), m_connections.end()};
}

std::optional<CDownloadJournal> CHTTPFileDownloadManager::JournalFields() const {
  if (m_bBackground || m_bRedirected || m_bAborted || m_bKept || m_nFileSize <= 0) return std::nullopt;
  CDownloadJournal journal;
  journal.m_strURL = m_strURL;
  journal.m_nSize = m_nFileSize;
  journal.m_strETag = m_strETag;
  journal.m_strLastModified = m_strLastModified;
  return journal;
}

void CHTTPFileDownloadManager::OnJoinFailed(const CFileException& error) { AbortDownload(JoinErrorText(error)); }

void CHTTPFileDownloadManager::KeepForLater() {
  if (!JournalFields() || !m_join.IsOpen()) return;
  m_join.Keep();
  MarkKept();
}
