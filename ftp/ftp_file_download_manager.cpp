#include "ftp/ftp_file_download_manager.h"

#include "ftp/ftp_command_socket.h"

CFTPFileDownloadManager::CFTPFileDownloadManager() { m_nPort = 21; }

CFTPFileDownloadManager::~CFTPFileDownloadManager() = default;

bool CFTPFileDownloadManager::InitInstance() { return CFileDownloadManager::InitInstance(); }

int CFTPFileDownloadManager::ExitInstance() { return CFileDownloadManager::ExitInstance(); }

bool CFTPFileDownloadManager::StartDownload(Event* pDoneEvent) { return CFileDownloadManager::StartDownload(pDoneEvent); }

void CFTPFileDownloadManager::Stop() { CFileDownloadManager::Stop(); }

void CFTPFileDownloadManager::OnSizeKnown() {}

void CFTPFileDownloadManager::AddConnections(int) {}

void CFTPFileDownloadManager::DropConnection(int) {}

void CFTPFileDownloadManager::ResumeRange(int64_t, int64_t, int) {}

void CFTPFileDownloadManager::OnEndedEarly(CFTPCommandSocket*) {}

void CFTPFileDownloadManager::CheckAllDone() {}

void CFTPFileDownloadManager::AbortDownload(const std::string&) {}

CFTPCommandSocket* CFTPFileDownloadManager::FindConnectionAt(int64_t) const { return nullptr; }

int64_t CFTPFileDownloadManager::TotalReceived() const { return 0; }
