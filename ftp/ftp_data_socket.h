#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/file.h"
#include "platform/net/socket.h"

class CFTPCommandSocket;
class CFileReceiver;

// The data connection of one FTP connection: takes the bytes of its range
// into a temp file of its own ("FFF" prefix, beside the destination), counts them
// against the range length, has the control connection send ABOR when the
// range is complete, and reports the end of its data to the control socket.
// The piece is written by the receiver's own thread straight to the system,
// so nothing is held back for a flush.
//
// Threads: created and used on the manager's thread. Owned by its control
// socket, which outlives it.
class CFTPDataSocket : public CSocket {
 public:
  // Creates the temp file; TempFileError() says why when that failed.
  explicit CFTPDataSocket(CFTPCommandSocket* owner);
  ~CFTPDataSocket() override;

  void OnReceive(int nErrorCode) override;
  void OnClose(int nErrorCode) override;
  // The data has ended: 0 for a graceful end, else the socket error.
  void FinishData(int nErrorCode);
  // Closes the temp file, keeping it on disk; errors are ignored.
  void CloseTempFile();
  // Closes and deletes the temp file, once; errors are ignored.
  void ReleaseTempFile();
  // The temp file became another file: its name is forgotten, so nothing
  // deletes it.
  void ForgetTempFile() { m_strTempName.clear(); }
  // A new range length; -1 (or below 1) reads until the server closes.
  void SetExpected(int64_t expected);

  bool HasTempFile() const { return m_file.IsOpen() || m_bClosed; }
  // Of the bytes received, those surely in the temp file.
  int64_t Written() const;
  // An open range that holds more than is left of the file after its start.
  bool IsBeyondTheFile() const;
  const std::string& TempFileError() const { return m_strTempError; }

  // The most one notification takes in; large enough that a fast transfer
  // costs few system calls per megabyte.
  static constexpr int kBlockSize = 1024 * 1024;

  int m_nConnection = -1;
  int64_t m_nExpected = -1;
  int64_t m_nReceived = 0;
  bool m_bRangeDone = false;
  CFile m_file;
  std::string m_strTempName;
  bool m_bClosed = false;
  CFTPCommandSocket* m_pCommandSocket;

 private:
  void DiscardWaiting();
  void CompleteRange();

  // Writes what the socket takes into m_file; none without a temp file.
  std::unique_ptr<CFileReceiver> m_receiver;
  std::string m_strTempError;
  bool m_bReleased = false;
};
