#include "ftp/ftp_file_download_manager.h"

#include <algorithm>
#include <vector>

#include "app/kestrion_app.h"
#include "engine/engine_messages.h"
#include "ftp/ftp_command_socket.h"
#include "ftp/ftp_data_socket.h"
#include "ftp/ftp_messages.h"
#include "platform/loop/event_loop.h"
#include "platform/loop/timer.h"
#include "platform/base/failure.h"
#include "platform/files/file.h"
#include "platform/files/file_copy.h"
#include "platform/files/orphan_pieces.h"
#include "platform/ui/ui.h"

CFTPFileDownloadManager::CFTPFileDownloadManager() : m_join(*this, m_continuation, IsCancelled) {
  m_nPort = 21;
  m_strUserName = kAnonymousUser;
  m_strPassword = kAnonymousPassword;
}

CFTPFileDownloadManager::~CFTPFileDownloadManager() {
  Stop();
  m_owned.clear();
}

bool CFTPFileDownloadManager::StartDownload(Event* pDoneEvent) {
  if (m_strUserName.empty()) {
    m_strUserName = kAnonymousUser;
    m_strPassword = kAnonymousPassword;
  }
  m_nStallSeconds = ReadStallSeconds();
  CFTPCommandSocket* first = NewConnection(0, -1, 1);
  first->m_bLearnSize = true;
  return CFileDownloadManager::StartDownload(pDoneEvent);
}

bool CFTPFileDownloadManager::InitInstance() {
  CFileDownloadManager::InitInstance();
  // Found out now rather than after the whole file has come down.
  if (!CheckDestinationFolder(kOutputNotCreated)) {
    AbortDownload(m_strDestinationError);
    return false;
  }
  if (!m_bBackground) {
    // The banner updater's own temp files share the prefix: its downloads
    // leave the folder alone.
    RemoveOrphanPieces(PieceFolder(), kPiecePrefix);
    m_continuation.Open(m_strDestination);
  }
  m_connections.front()->m_nStart = TakeUpEarlierRun();
  const std::vector<CFTPCommandSocket*> connections = m_connections;
  try {
    for (CFTPCommandSocket* connection : connections) connection->ConnectToServer();
  } catch (const Failure& failure) {
    // A background download (the banner updater's) never shows a box.
    if (!m_bBackground && !EventLoop::ForThisThread().QuitPending()) AfxMessageBox(failure.Text(), MB_OK);
    return false;
  }
  return true;
}

// Every socket is closed before the objects go, and both before the creator
// is released: it may end the process as soon as it is.
int CFTPFileDownloadManager::ExitInstance() {
  if (!m_bKept && !m_bJoined) EndInterrupted();
  m_join.Abort();
  Stop();
  m_owned.clear();
  return CFileDownloadManager::ExitInstance();
}

// The objects stay until the thread ends: Stop may run inside a
// notification of one of them.
void CFTPFileDownloadManager::Stop() {
  for (const auto& connection : m_owned) {
    connection->CloseAll();
    connection->ReleaseTempFile();
  }
  m_connections.clear();
  CFileDownloadManager::Stop();
}

void CFTPFileDownloadManager::OnSizeKnown() {
  if (m_nEarlierSize != -1) {
    if (m_nFileSize == m_nEarlierSize)
      FetchMissingRanges();
    else
      StartAgain(engine_messages::kFileChangedSinceLastRun);
    return;
  }
  if (m_nFileSize > kSplitThreshold && m_bSplitAllowed) {
    AddConnections(3);
    StartJoining();
  }
}

CFTPCommandSocket* CFTPFileDownloadManager::NewConnection(int64_t start, int64_t end, int number) {
  auto connection = std::make_unique<CFTPCommandSocket>(this);
  connection->m_strPath = CFTPCommandSocket::ServerPath(m_strObject);
  connection->m_nPort = m_nPort;
  connection->m_strHost = m_strServer;
  connection->m_strUser = m_strUserName;
  connection->m_strPassword = m_strPassword;
  connection->m_nStart = start;
  connection->m_nEnd = end;
  connection->m_nConnection = number;
  CFTPCommandSocket* raw = connection.get();
  m_owned.push_back(std::move(connection));
  m_connections.push_back(raw);
  return raw;
}

// Numbers are never reused, so a dropped connection's number names no other.
int CFTPFileDownloadManager::NextNumber() const { return static_cast<int>(m_owned.size()) + 1; }

// A Cancel that arrives during a blocking connect ends it with an error; the
// download then just ends, without a message of its own.
void CFTPFileDownloadManager::ConnectOrAbort(CFTPCommandSocket* connection) {
  try {
    connection->ConnectToServer();
  } catch (const Failure& failure) {
    if (EventLoop::ForThisThread().QuitPending()) {
      m_bFinished = true;
      return;
    }
    AbortDownload(failure.Text());
  }
}

void CFTPFileDownloadManager::AddConnections(int n) {
  if (m_nFileSize == -1 || m_bFinished || m_connections.empty()) return;
  const int64_t done = TotalReceived();
  const int64_t share = (m_nFileSize - done) / (n + 1);
  if (share <= 0) return;
  CFTPCommandSocket* first = m_connections.front();
  first->m_nEnd = done + share;
  first->UpdateExpected();
  int64_t pos = done + share;
  std::vector<CFTPCommandSocket*> added;
  for (int i = 1; i <= n; ++i) {
    const int64_t end = i < n ? pos + share : -1;
    added.push_back(NewConnection(pos, end, NextNumber()));
    pos = end;
  }
  for (CFTPCommandSocket* connection : added) {
    if (m_bFinished) return;
    ConnectOrAbort(connection);
  }
}

// The failed connection's range goes to the connection that ends where it
// starts, when that one is still reading; otherwise a new connection fetches
// it, so no range is ever left out.
void CFTPFileDownloadManager::DropConnection(int number) {
  if (m_bFinished) return;
  const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                  [number](CFTPCommandSocket* c) { return c->m_nConnection == number; });
  if (found == m_connections.end()) return;
  CFTPCommandSocket* dropped = *found;
  Retire(dropped);
  if (CFTPCommandSocket* previous = FindExtendable(dropped->m_nStart)) {
    previous->m_nEnd = dropped->m_nEnd;
    previous->UpdateExpected();
    return;
  }
  ResumeAfter(dropped, dropped->m_nStart);
}

CFTPCommandSocket* CFTPFileDownloadManager::FindExtendable(int64_t end) const {
  for (CFTPCommandSocket* connection : m_connections) {
    if (connection->m_nEnd != end) continue;
    const CFTPDataSocket* data = connection->DataSocket();
    if (data && (data->m_bRangeDone || data->m_bClosed)) continue;
    return connection;
  }
  return nullptr;
}

void CFTPFileDownloadManager::Retire(CFTPCommandSocket* connection) {
  connection->CloseAll();
  connection->ReleaseTempFile();
  m_connections.erase(std::remove(m_connections.begin(), m_connections.end(), connection), m_connections.end());
}

void CFTPFileDownloadManager::ResumeRange(int64_t start, int64_t end, int retries, int barrenResumes) {
  if (m_bFinished) return;
  if (retries > kMaxRetries) {
    AbortDownload(kTooManyRetries);
    return;
  }
  CFTPCommandSocket* connection = NewConnection(start, end, NextNumber());
  connection->m_nRetries = retries;
  connection->m_nBarrenResumes = barrenResumes;
  ConnectOrAbort(connection);
}

// Resumes that keep bringing nothing would go on for ever against a server
// that fails every connection before its data: they have a limit of their own.
void CFTPFileDownloadManager::ResumeAfter(const CFTPCommandSocket* ended, int64_t start) {
  const bool resumed = ended->m_nRetries > 0;
  const int barrenResumes = ended->ReceivedBytes() > 0 ? 0 : ended->m_nBarrenResumes + (resumed ? 1 : 0);
  if (barrenResumes >= kMaxBarrenResumes) {
    AbortDownload(kNoProgress);
    return;
  }
  ResumeRange(start, ended->m_nEnd, ended->m_nRetries + 1, barrenResumes);
}

// What the connection holds stays for the join; the rest of its range is
// fetched by a new connection, unless the server cannot restart or the range
// has been resumed too often already.
void CFTPFileDownloadManager::OnEndedEarly(CFTPCommandSocket* connection) {
  if (m_bFinished) return;
  if (connection->m_nRetries >= kMaxRetries) {
    AbortDownload(kTooManyRetries);
    return;
  }
  if (!m_bSplitAllowed) {
    AbortDownload(kCannotResume);
    return;
  }
  const int64_t resumeAt = connection->m_nStart + connection->ReceivedBytes();
  // A piece that holds nothing goes at once.
  if (connection->ReceivedBytes() == 0) {
    Retire(connection);
  } else {
    connection->CloseAll();
  }
  ResumeAfter(connection, resumeAt);
}

void CFTPFileDownloadManager::CheckAllDone() {
  if (m_bFinished || m_connections.empty()) return;
  for (CFTPCommandSocket* connection : m_connections) {
    if (!connection->IsDone()) return;
  }
  OnDownloadComplete();
}

void CFTPFileDownloadManager::OnDownloadComplete() {
  m_bFinished = true;
  m_bJoined = true;
  const bool ok = JoinTempFiles();
  Stop();
  if (ok) {
    if (!m_bBackground) AfxMessageBox(Format(kDownloadCompleted, m_strObject.c_str()), MB_ICONINFORMATION);
    ReportSuccess();
  } else if (!m_bBackground && !IsCancelled()) {
    std::string text = Format(kConcatProblem, m_strObject.c_str());
    if (!m_strJoinError.empty()) text += "\n" + m_strJoinError;
    AfxMessageBox(text, MB_OK);
  }
  PostQuit();
}

// Everything is released before the message is shown: the box pumps the
// loop, and nothing of the download may run on while it waits.
void CFTPFileDownloadManager::AbortDownload(const std::string& reason) {
  if (m_bFinished) return;
  if (!EventLoop::ForThisThread().QuitPending() || TheApp().KeepsDownloadOnEnd()) KeepForLater();
  m_bFinished = true;
  Stop();
  if (!m_bBackground) AfxMessageBox(Format(kDownloadAborted, reason.c_str()), MB_OK);
  PostQuit();
}

void CFTPFileDownloadManager::PostQuit() { PostThreadMessage(WM_QUIT); }

int64_t CFTPFileDownloadManager::TotalReceived() const {
  int64_t total = 0;
  for (CFTPCommandSocket* connection : m_connections) total += connection->ReceivedBytes();
  return total;
}

// Only the whole file gets the destination's name: a join that fails or
// falls short leaves the destination as it was. A failed read or write
// names its file.
bool CFTPFileDownloadManager::JoinTempFiles() {
  if (!m_join.IsOpen() && !OpenDestination(m_join.Joiner(), kOutputNotCreated)) {
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
    m_join.Abort();
    m_continuation.Remove();
    m_strJoinError = JoinErrorText(error);
    return false;
  }
  m_continuation.Remove();
  if (!m_bBackground) RemoveOrphanPieces(PieceFolder(), kPiecePrefix);
  return true;
}

// The pieces go into place beside the download from now on; where the
// destination cannot be made without asking, all waits for the end.
void CFTPFileDownloadManager::StartJoining() {
  if (m_bFinished || m_connections.empty()) return;
  m_join.Start(m_strDestination, m_connections.front());
}

std::string CFTPFileDownloadManager::JoinErrorText(const CFileException& error) const {
  const bool reading = error.m_strFileName != m_strDestination;
  return Format(reading ? kReadFailed : kWriteFailed, error.m_strFileName.c_str(), error.m_strReason.c_str());
}

// Another URL is another download; only damage is worth a word.
int64_t CFTPFileDownloadManager::TakeUpEarlierRun() {
  const bool damaged = m_continuation.FoundDamaged();
  if (m_continuation.FoundOther(m_strURL)) {
    m_continuation.DiscardEarlier();
    if (damaged && !m_bBackground) AfxMessageBox(engine_messages::kEarlierRunDamaged, MB_OK);
    return 0;
  }
  const CDownloadJournal* earlier = TakeUpEarlierJoin(m_join);
  if (!earlier) return 0;
  m_nEarlierSize = earlier->m_nSize;
  return earlier->FirstByteToAsk();
}

void CFTPFileDownloadManager::OnRestartRefused() { StartAgain(engine_messages::kCannotGoOn); }

// Everything of the earlier run goes; a new first connection starts from 0
// once the caller's reply has been handled.
void CFTPFileDownloadManager::StartAgain(const char* why) {
  m_nEarlierSize = -1;
  m_nFileSize = -1;
  for (CFTPCommandSocket* connection : m_connections) {
    connection->CloseAll();
    connection->ReleaseTempFile();
  }
  m_connections.clear();
  m_join.Abort();
  m_continuation.DiscardEarlier();
  m_nReceived = m_nRateBaseBytes = 0;
  CFTPCommandSocket* first = NewConnection(0, -1, 1);
  first->m_bLearnSize = true;
  m_restartTimer = std::make_unique<Timer>([this, first, why] {
    if (!m_bBackground) AfxMessageBox(why, MB_OK);
    ConnectOrAbort(first);
  });
  m_restartTimer->Start(std::chrono::milliseconds(0), false);
}

// One connection per missing range, up to four; ranges past the fourth go
// with the last one, the bytes between them fetched again (they are the
// same file's).
void CFTPFileDownloadManager::FetchMissingRanges() {
  constexpr int64_t kMinShare = 64 * 1024;
  constexpr size_t kMaxConnections = 4;
  CDownloadJournal plan;
  plan.m_nSize = m_nFileSize;
  plan.m_done = m_join.InPlace();
  std::vector<ByteRange> ranges = CDownloadJournal::Spread(plan.Missing(), kMaxConnections, kMinShare);
  while (ranges.size() > kMaxConnections) {
    ranges[ranges.size() - 2].end = ranges.back().end;
    ranges.pop_back();
  }
  auto endOf = [this](const ByteRange& range) { return range.end == m_nFileSize ? -1 : range.end; };
  CFTPCommandSocket* first = m_connections.front();
  first->m_nEnd = ranges.empty() ? -1 : endOf(ranges.front());
  first->UpdateExpected();
  std::vector<CFTPCommandSocket*> added;
  for (size_t i = 1; i < ranges.size(); ++i)
    added.push_back(NewConnection(ranges[i].begin, endOf(ranges[i]), NextNumber()));
  for (CFTPCommandSocket* connection : added) {
    if (m_bFinished) return;
    ConnectOrAbort(connection);
  }
  StartJoining();
}

CInPlaceJoin::Pieces CFTPFileDownloadManager::JoinPieces() const {
  return {m_connections.begin(), m_connections.end()};
}

// Only what can be gone on with is recorded: a known size, and a server
// that restarts.
std::optional<CDownloadJournal> CFTPFileDownloadManager::JournalFields() const {
  const int64_t size = m_nFileSize > 0 ? m_nFileSize : m_nEarlierSize;
  if (m_bBackground || m_bKept || m_bJoined || size <= 0 || !m_bSplitAllowed) return std::nullopt;
  CDownloadJournal journal;
  journal.m_strURL = m_strURL;
  journal.m_nSize = size;
  return journal;
}

void CFTPFileDownloadManager::OnJoinFailed(const CFileException& error) { AbortDownload(JoinErrorText(error)); }

void CFTPFileDownloadManager::KeepForLater() {
  if (!JournalFields()) return;
  if (!m_join.IsOpen() && !m_join.Joiner().Open(m_strDestination)) return;
  m_join.Keep();
  MarkKept();
}
