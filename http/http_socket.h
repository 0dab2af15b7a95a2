#pragma once

#include "platform/socket.h"

class CHTTPFileDownloadManager;

// One byte range of the file over one HTTP connection.
class CHTTPSocket : public CSocket {
 public:
  explicit CHTTPSocket(CHTTPFileDownloadManager* manager) : m_pManager(manager) {}

 private:
  CHTTPFileDownloadManager* m_pManager;
};
