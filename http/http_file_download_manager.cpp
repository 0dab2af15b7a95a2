#include "http/http_file_download_manager.h"

#include "http/http_socket.h"

CHTTPFileDownloadManager::CHTTPFileDownloadManager() { m_nPort = 80; }

CHTTPFileDownloadManager::~CHTTPFileDownloadManager() = default;

bool CHTTPFileDownloadManager::InitInstance() { return CFileDownloadManager::InitInstance(); }

int CHTTPFileDownloadManager::ExitInstance() { return CFileDownloadManager::ExitInstance(); }

bool CHTTPFileDownloadManager::StartDownload(Event* pDoneEvent) {
  return CFileDownloadManager::StartDownload(pDoneEvent);
}

void CHTTPFileDownloadManager::OnSizeKnown() {}
void CHTTPFileDownloadManager::AddConnections(int) {}
void CHTTPFileDownloadManager::ResumeRange(int64_t, int64_t, int) {}
void CHTTPFileDownloadManager::CheckAllDone() {}
void CHTTPFileDownloadManager::AbortDownload(const std::string&) {}
void CHTTPFileDownloadManager::OnRedirect(const std::string&) {}
