#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/join_piece.h"
#include "ftp/ftp_reply_reader.h"
#include "platform/net/socket.h"

class CFTPDataSocket;
class CFTPFileDownloadManager;
class CFTPListenSocket;
class Timer;

// Reply states of a control connection. The values do not follow the order
// of the conversation: PORT is sent before both RESTs.
enum FTPState : int {
  FTPS_IDLE = 0,
  FTPS_CONNECTING = 1,
  FTPS_CONNECTED = 2,
  FTPS_USER_SENT = 3,
  FTPS_PASS_SENT = 4,
  FTPS_TYPE_SENT = 5,
  FTPS_REST100_SENT = 6,
  FTPS_REST_SENT = 7,
  FTPS_PORT_SENT = 8,
  FTPS_RETR_SENT = 9,
  FTPS_SIZE_SENT = 10,  // connection 1 asks the size after TYPE I
};

// The control connection of one FTP connection: logs in, sets image type,
// opens an active-mode data connection with PORT, probes and sets the restart
// offset and starts the transfer with RETR. Replies are handled whole, one
// at a time, by OnReply. A failure on connection 1 aborts the download; on
// any other connection it drops that connection.
//
// Threads: constructed on any thread, used from ConnectToServer on only on
// the manager's thread. Owns its data and listening sockets; the manager
// owns this object.
class CFTPCommandSocket : public CSocket, public CJoinPiece {
 public:
  explicit CFTPCommandSocket(CFTPFileDownloadManager* manager);
  ~CFTPCommandSocket() override;

  // Creates the socket and connects (blocking). Throws Failure.
  bool ConnectToServer();

  // Sends the text and CR LF in one blocking send; false on a socket error.
  virtual bool SendCommand(const std::string& text);
  bool SendUsername();
  bool SendPassword();
  bool SendType();
  bool SendSIZE();
  // Prepares the data connection, then sends PORT (EPRT over IPv6). False
  // when the data connection cannot be prepared; throws Failure when no
  // temp file can be made.
  virtual bool SendPORT();
  bool SendREST100();
  bool SendREST();
  bool SendRETR();
  bool SendABOR();

  void OnReceive(int nErrorCode) override;
  void OnClose(int nErrorCode) override;
  // Received control text: whole replies go to OnReply, the rest waits for
  // more.
  void TakeReceivedText(const char* text, size_t count);
  void OnReply(const FtpReply& reply);

  // After every change of m_nStart or m_nEnd.
  void UpdateExpected();
  // Closes and deletes the temp file; errors are ignored.
  void ReleaseTempFile();
  // The temp file was moved into place by the join: nothing deletes it.
  void ForgetTempFile();
  // Closes the control, listening and data sockets and the temp file (which
  // stays on disk for the join); nothing more arrives.
  void CloseAll();
  bool IsRetired() const { return m_bRetired; }

  int64_t ReceivedBytes() const;

  // The piece holds the range's bytes only: a byte past the file's end,
  // taken to see whether the server sends more than it said, is none of it.
  int64_t PieceStart() const override { return m_nStart; }
  int64_t PieceReceived() const override;
  int64_t PieceWritten() const override;
  bool PieceEnded() const override { return m_bRetired || IsDataClosed(); }
  std::string PieceFileName() const override { return TempFileName(); }
  void HandOverPieceFile(const std::string&) override { ForgetTempFile(); }
  void RemovePieceFile() override { ReleaseTempFile(); }
  bool IsDataClosed() const;
  bool HasDataSocket() const { return m_pDataSocket != nullptr; }
  std::string TempFileName() const;
  // The bytes this connection must deliver: from its end, else from the file
  // size; -1 while neither is known.
  int64_t KnownRangeLength() const;
  bool IsRangeComplete() const;
  // The data has ended, and for a transfer of unknown length the server has
  // confirmed it (226 or 250).
  bool IsDone() const;

  // Called by the data socket.
  void NoteProgress();
  // 0 for a graceful end, else the socket error.
  void OnDataEnded(int nErrorCode);
  void OnDataFailed(const std::string& reason);

  // "PORT" argument: a dotted address in comma form and the port's two bytes.
  static std::string FormatPortArgument(const std::string& dottedAddress, unsigned port);
  // "EPRT" argument for an IPv6 address (RFC 2428): |2|address|port|.
  static std::string FormatEprtArgument(const std::string& ipv6Address, unsigned port);
  // The path SIZE and RETR name for a URL's (unescaped) path: relative to
  // the login folder, so "/a/b.bin" is "a/b.bin" and "//etc/b.bin" (from
  // "/%2Fetc/b.bin") the absolute "/etc/b.bin".
  static std::string ServerPath(const std::string& urlPath);

  CFTPFileDownloadManager* Manager() const { return m_pManager; }
  CFTPDataSocket* DataSocket() const { return m_pDataSocket.get(); }

  bool m_bLearnSize = false;
  int m_nPort = 21;
  std::string m_strHost;
  std::string m_strPassword;
  std::string m_strUser;
  std::string m_strPath;
  int m_nState = FTPS_IDLE;
  FtpReplyReader m_reader;
  int64_t m_nStart = 0;
  int64_t m_nEnd = -1;
  CFTPFileDownloadManager* m_pManager;
  std::unique_ptr<CFTPListenSocket> m_pListenSocket;
  std::unique_ptr<CFTPDataSocket> m_pDataSocket;
  int m_nConnection = -1;
  // Times this connection's range has been resumed so far.
  int m_nRetries = 0;
  // Resumes before this one along the range, in a row, that brought nothing.
  int m_nBarrenResumes = 0;

 private:
  void HandlePendingReplies();
  void Dispatch(const FtpReply& reply);
  void Advance(int nextState, bool (CFTPCommandSocket::*send)(), const char* sendFailure);
  void OnGreeting(const std::string& code, const std::string& line);
  void OnUserReply(const std::string& code, const std::string& line);
  void OnPassReply(const std::string& code, const std::string& line);
  void OnTypeReply(const std::string& code, const std::string& line);
  void OnSizeReply(const std::string& code, const std::string& line);
  void OnPortReply(const std::string& code, const std::string& line);
  void OnRest100Reply(const std::string& code, const std::string& line);
  void OnRestReply(const std::string& code, const std::string& line);
  void OnRetrReply(const FtpReply& reply);
  void AnswerRetr(const FtpReply& reply);
  void LearnSize(const FtpReply& reply);
  void ConfirmTransfer();
  bool AwaitsConfirmation() const;
  // The size this connection learns may still come with the opening reply.
  bool AwaitsOpeningReply() const { return m_bLearnSize && !m_bRetrAnswered; }
  // What the end of the data means, once the size it is measured by is
  // settled.
  void JudgeDataEnd(int nErrorCode);
  bool IsLoggingIn() const { return m_nState == FTPS_USER_SENT || m_nState == FTPS_PASS_SENT; }
  void Fail(const std::string& message);
  void StartWatch();
  void StopWatch();
  void CheckStall();
  bool IsTransferring() const;

  std::unique_ptr<Timer> m_watchTimer;
  // When the conversation last moved on or data last arrived.
  std::chrono::steady_clock::time_point m_lastProgress;
  // When the greeting came: the login has a bound of its own.
  std::chrono::steady_clock::time_point m_loginStart;
  bool m_bRetrAnswered = false;
  // The data ended before the opening reply, with this error code.
  bool m_bDataEndWaiting = false;
  int m_nDataEndError = 0;
  // The size a 213 reply to SIZE gave; -1 when none did.
  int64_t m_nSizeReply = -1;
  bool m_bTransferConfirmed = false;
  bool m_bHandlingReplies = false;
  // Set by CloseAll: the connection takes no further part.
  bool m_bRetired = false;
  // A failure of this machine (no temp file), not of the server: it ends the
  // download whatever the connection.
  bool m_bLocalFailure = false;
};
