#include "ftp/ftp_command_socket.h"

#include "ftp/ftp_data_socket.h"
#include "ftp/ftp_listen_socket.h"
#include "platform/timer.h"

CFTPCommandSocket::CFTPCommandSocket(CFTPFileDownloadManager* manager) : m_pManager(manager) {}

CFTPCommandSocket::~CFTPCommandSocket() = default;
