#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/chunked_decoder.h"
#include "engine/join_piece.h"
#include "http/http_response_header.h"
#include "platform/files/file.h"
#include "platform/net/socket.h"

class CBlockWriter;
class CFileReceiver;
class CHTTPFileDownloadManager;
class Timer;

// One byte range of the file over one HTTP connection: a single GET with a
// Range line, the response header read into m_header, the body of the range
// written to a temp file of its own ("FFFxxxx.TMP" beside the destination).
// A body whose length is bounded (by its Content-Length, the range or the
// file's size) moves from the socket to the file inside the system, written
// by a thread of the receiver's own; a chunked body, or one that only the
// close ends, passes through this process. Over https the bytes are
// decrypted here: they are received into a block writer's buffer and
// written by its thread. Either way every count, check and decision is made
// here, on the manager's thread.
//
// Threads: the object (and its temp file) may be made on the thread that
// starts the manager; the socket, its notifications and the stall timer live
// on the manager's thread. Owned by the manager, which keeps it alive until
// the manager itself ends.
class CHTTPSocket : public CSocket, public CJoinPiece {
 public:
  explicit CHTTPSocket(CHTTPFileDownloadManager* manager);
  ~CHTTPSocket() override;

  // Creates the socket, connects (blocking, the loop keeps pumping) and sends
  // the request; returns SendRequest's result. Throws Failure when the socket
  // cannot be created or connected. For https the connect includes the
  // handshake: one that fails aborts the download with its reason (nothing
  // is sent, nothing retried) and false is returned.
  int ConnectToServer();
  bool SendRequest();
  void OnReceive(int nErrorCode) override;
  void OnClose(int nErrorCode) override;
  void OnHeaderComplete(const std::string& header);
  // nErrorCode 0: the range (or the response) is complete.
  void FinishConnection(int nErrorCode);
  // m_nEnd - m_nStart, or -1 for an open range.
  int64_t GetExpectedLength() const;
  // Closes the socket, closes and deletes the temp file; never throws.
  void Discard();
  // Deletes the temp file (once joined); never throws. The name is
  // forgotten, so a later Discard cannot hit a file that reuses it.
  void RemoveTempFile();
  // The temp file became another file, moved into place by the join: it
  // goes by the new name now (for messages) and nothing here deletes it.
  void HandOverTempFile(const std::string& newName);
  // Bytes from the piece's start that are in the temp file now: all that
  // were received once the connection has ended.
  int64_t GetWritten() const;

  int64_t PieceStart() const override { return m_nStart; }
  int64_t PieceReceived() const override { return m_nReceived; }
  int64_t PieceWritten() const override { return GetWritten(); }
  bool PieceEnded() const override { return m_bClosed; }
  std::string PieceFileName() const override { return HasTempFile() ? m_strTempName : std::string(); }
  void HandOverPieceFile(const std::string& newName) override { HandOverTempFile(newName); }
  void RemovePieceFile() override { RemoveTempFile(); }

  // The request exactly as it is sent: the request target as given, the
  // range [start, end) (end -1: to the end of the file). defaultPort is the
  // scheme's (80, 443): the Host line names any other.
  static std::string FormatRequest(const std::string& target, const std::string& host, int port, int defaultPort,
                                   int64_t start, int64_t end);
  // The Host line's value: "host", "host:port", "[IPv6]" or "[IPv6]:port".
  static std::string FormatHost(const std::string& host, int port, int defaultPort);

  const std::string& GetTempName() const { return m_strTempName; }
  bool HasTempFile() const { return m_strTempError.empty(); }
  // Why the temp file could not be made, naming it.
  const std::string& GetTempFileError() const { return m_strTempError; }
  int64_t GetStart() const { return m_nStart; }
  int64_t GetReceived() const { return m_nReceived; }
  bool IsClosed() const { return m_bClosed; }

  CHTTPFileDownloadManager* m_pManager;
  int m_nWritesSinceFlush = 0;
  int m_nConnection = -1;
  bool m_bLearnSize = false;
  int m_nPort = 80;
  std::string m_strHost;
  std::string m_strPath;  // the request target, escaped as it goes out
  int64_t m_nStart = 0;
  int64_t m_nEnd = -1;  // exclusive; -1: to the end of the file
  bool m_bClosed = false;
  CFile m_file;
  std::string m_strTempName;
  int64_t m_nReceived = 0;  // body bytes of the range kept, at most the range length
  CHTTPResponseHeader m_header;
  bool m_bHeaderPending = true;
  std::string m_strHeaderText;
  // How far m_strHeaderText has been searched for the header's end.
  size_t m_nHeaderScanned = 0;
  int m_nEarlyCloses = 0;
  // Made to fetch the rest of a range another connection left.
  bool m_bResumed = false;
  // Resumes before this one along the range, in a row, that brought nothing.
  int m_nBarrenResumes = 0;
  // Refusals of this range before this connection, in a row, while no
  // other connection ran.
  int m_nLoneRefusals = 0;

 private:
  void CreateTempFile();
  // Takes one block off the socket into the temp file, by whichever path
  // the body allows; false when nothing more was waiting.
  bool TakeBlock();
  // A block that arrives while another is being handled waits in memory.
  void DeferBlock();
  bool TakesBodyInKernel() const;
  bool TakeBodyInKernel();
  // Decrypted body bytes: received straight into the writer's buffer.
  bool TakeDecryptedBody();
  CBlockWriter& Writer();
  // Body bytes this response may still bring by what it announced (its
  // Content-Length, or the file's size for an open range), and those the
  // range may still keep as well; -1 when nothing bounds them.
  int64_t AnnouncedRoom() const;
  int64_t BodyRoom() const;
  // Every block read into memory goes through here, whether it came with a
  // receive notification or with the close.
  void HandleBytes(char* data, size_t length);
  // The header is complete: true when the block's rest is body for this
  // response, false when nothing more is to be done with it.
  enum class HeaderStep { kPending, kBody, kStop };
  HeaderStep TakeHeader(std::string& body);
  // Where the header that begins at `from` ends (the LF before the empty
  // line), with the length of its separator; npos while it has not.
  size_t FindHeaderEnd(size_t from, size_t& separator);
  void ConsumeBody(char* data, size_t length);
  // What a block of the body adds to the range: the bytes kept, and whether
  // the range or the response is now complete.
  struct BodyBlock {
    int64_t kept = 0;
    bool finished = false;
  };
  // Counts `sent` body bytes as they came (`decoded` of them once
  // unchunked), checks them against what the response announced, reports
  // progress and closes the socket once complete. Nothing when the download
  // has been aborted.
  std::optional<BodyBlock> CountBody(int64_t sent, int64_t decoded);
  bool WriteBody(const char* data, size_t length);
  void ActOnSuccess();
  bool StartsWhereAsked() const;
  bool ExceedsAnnounced() const;
  bool OverrunWaiting() const;
  void ResumeRest();
  void ActOnRedirect();
  void ActOnFailedStatus();
  // Refused for now (503, 429): the range waits with the manager and this
  // connection ends without a piece.
  void EndRefused();
  bool BodyComplete() const;
  bool IsCutShort() const;
  int64_t WantedLength() const;
  void DeliverDeferred();
  void StartStallWatch();
  void OnStallCheck();
  void Abort(const std::string& reason);

  std::string m_strTempError;
  // False once the temp file belongs to the join.
  bool m_bOwnsTempFile = true;
  CChunkedDecoder m_decoder;
  int64_t m_nBodyBytes = 0;  // body bytes as sent, before decoding
  bool m_bEmptyRemainder = false;   // the server says nothing is left of the range
  bool m_bStalled = false;
  bool m_bDiscarded = false;
  // Blocks and a close that arrive while a block is being handled (a
  // blocking connect for a split pumps the loop) wait here, so the temp file
  // keeps the order of the stream.
  int m_nDepth = 0;
  std::string m_strDeferred;
  // Input was left in the socket because enough waited here already.
  bool m_bInputHeld = false;
  bool m_bCloseDeferred = false;
  int m_nDeferredCloseError = 0;
  // Writes the body taken inside the system; made with the first such block.
  std::unique_ptr<CFileReceiver> m_receiver;
  // Writes the body of a secure connection; made with its first body byte.
  std::unique_ptr<CBlockWriter> m_writer;
  std::unique_ptr<Timer> m_stallTimer;
  // When the request went out, the header completed or the body last
  // brought a byte: what the stall clock runs from.
  std::chrono::steady_clock::time_point m_lastProgress;
};
