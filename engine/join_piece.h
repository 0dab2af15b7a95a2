#pragma once

#include <cstdint>
#include <string>

// One connection's piece as the join sees it: the bytes of the file from
// the piece's start on, in a temp file of the connection's own.
//
// Threads: the manager's.
class CJoinPiece {
 public:
  virtual int64_t PieceStart() const = 0;
  // Bytes received from the start on.
  virtual int64_t PieceReceived() const = 0;
  // Of those, the ones surely in the piece's file: all, once it has ended.
  virtual int64_t PieceWritten() const = 0;
  // No more bytes come to the piece.
  virtual bool PieceEnded() const = 0;
  // Empty when the piece has no file (any more).
  virtual std::string PieceFileName() const = 0;
  // The piece's file was renamed to be the join's new file: the piece goes
  // on writing it through its descriptor, and never deletes it.
  virtual void HandOverPieceFile(const std::string& newName) = 0;
  // Deletes the piece's file once its bytes are in place; never throws.
  virtual void RemovePieceFile() = 0;

 protected:
  ~CJoinPiece() = default;
};
