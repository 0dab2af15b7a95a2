#include "ftp/ftp_data_socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ftp/ftp_command_socket.h"
#include "ftp/ftp_file_download_manager.h"
#include "ftp/ftp_messages.h"
#include "platform/base/failure.h"
#include "platform/files/file_receiver.h"

CFTPDataSocket::CFTPDataSocket(CFTPCommandSocket* owner) : m_pCommandSocket(owner) {
  const std::string folder = m_pCommandSocket->m_pManager->PieceFolder();
  m_strTempName = GetTempFileName(folder, kPiecePrefix);
  if (m_strTempName.empty()) {
    const int error = errno;
    m_strTempError = Format(kTempFileNotCreatedIn, folder.c_str(), std::strerror(error));
    return;
  }
  std::string reason;
  // The file is new and empty: truncating it again would make the file system
  // flush it to disk when it is closed, for a piece that is soon deleted.
  if (!m_file.Open(m_strTempName, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite, &reason)) {
    m_strTempError = Format(kTempFileNotCreatedIn, m_strTempName.c_str(), reason.c_str());
    ReleaseTempFile();
    return;
  }
  m_receiver = std::make_unique<CFileReceiver>(m_file);
}

CFTPDataSocket::~CFTPDataSocket() { ReleaseTempFile(); }

void CFTPDataSocket::OnReceive(int nErrorCode) {
  if (m_bRangeDone || m_bClosed || !m_receiver) {
    DiscardWaiting();
    CSocket::OnReceive(nErrorCode);
    return;
  }
  // Only the range's own bytes are taken: what follows it stays with the
  // socket and is dropped with it. A range open to the end of a file of
  // known size takes one byte more, to see whether the server sends more
  // than it announced.
  const int64_t length = m_pCommandSocket->KnownRangeLength();
  int64_t wanted = kBlockSize;
  if (m_nExpected >= 1) {
    wanted = m_nExpected - m_nReceived;
  } else if (length >= 0) {
    wanted = std::min<int64_t>(kBlockSize, length - m_nReceived + 1);
  }
  if (wanted <= 0) {
    // The range was cut back to what had already arrived.
    m_bRangeDone = true;
    CompleteRange();
    return;
  }
  int64_t count = 0;
  try {
    count = ReceiveToFile(*m_receiver, wanted);
  } catch (const CFileException& error) {
    m_pCommandSocket->OnDataFailed(Format(kWriteFailed, error.m_strFileName.c_str(), error.m_strReason.c_str()));
    return;
  }
  if (count <= 0) {
    CSocket::OnReceive(nErrorCode);
    return;
  }
  m_pCommandSocket->NoteProgress();
  const bool first = m_nReceived == 0;
  m_nReceived += count;
  if (IsBeyondTheFile()) {
    m_pCommandSocket->OnDataFailed(kMoreThanAnnounced);
    return;
  }
  const bool ended = m_nExpected >= 1 && m_nReceived >= m_nExpected;
  if (ended) m_bRangeDone = true;
  CFTPFileDownloadManager* manager = m_pCommandSocket->Manager();
  manager->AddReceived(count, m_nConnection, m_nReceived);
  if (first) manager->MarkRateBase();
  if (ended) CompleteRange();
  CSocket::OnReceive(nErrorCode);
}

void CFTPDataSocket::DiscardWaiting() {
  char buffer[4096];
  Receive(buffer, sizeof buffer, 0);
}

// The bytes after the range belong to other connections: the server is told
// to stop, and the connection is closed so that nothing more is sent here.
void CFTPDataSocket::CompleteRange() {
  m_pCommandSocket->SendABOR();
  FinishData(0);
}

void CFTPDataSocket::OnClose(int nErrorCode) {
  FinishData(nErrorCode);
  CSocket::OnClose(nErrorCode);
}

void CFTPDataSocket::FinishData(int nErrorCode) {
  if (m_bClosed || m_bReleased) return;
  m_bClosed = true;
  Close();
  try {
    if (m_receiver) m_receiver->Finish();
    m_file.Close();
  } catch (const CFileException& error) {
    m_pCommandSocket->OnDataFailed(Format(kWriteFailed, error.m_strFileName.c_str(), error.m_strReason.c_str()));
    return;
  }
  m_pCommandSocket->OnDataEnded(nErrorCode);
}

bool CFTPDataSocket::IsBeyondTheFile() const {
  const int64_t length = m_pCommandSocket->KnownRangeLength();
  return m_nExpected < 1 && length >= 0 && m_nReceived > length;
}

void CFTPDataSocket::CloseTempFile() {
  m_receiver.reset();
  m_file.Abort();
}

void CFTPDataSocket::ReleaseTempFile() {
  if (m_bReleased) return;
  m_bReleased = true;
  m_receiver.reset();
  m_file.Abort();
  if (m_strTempName.empty()) return;
  try {
    CFile::Remove(m_strTempName);
  } catch (const CFileException&) {
  }
}

int64_t CFTPDataSocket::Written() const { return m_receiver ? m_nReceived - m_receiver->Pending() : m_nReceived; }

void CFTPDataSocket::SetExpected(int64_t expected) { m_nExpected = expected; }
