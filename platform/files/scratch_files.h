#pragma once

#include <string>

// The files this process works in while they exist (a download's pieces,
// a join's new file), so that a program made to end at once can still take
// them away. A file is known by its name and by what it is (device and
// inode), so a name that came to stand for another file, another process's
// piece, is never removed. Every call is thread-safe.
class ScratchFiles {
 public:
  // Records the file the name stands for now; nothing when there is none.
  static void Note(const std::string& path);
  // The same, and the descriptor (taken over) holds an exclusive lock on the
  // file until it is forgotten: a file of this kind that nobody locks
  // belongs to no live run (see orphan_pieces.h).
  static void NoteLocked(const std::string& path, int fd);
  // The file was removed or renamed by its owner; its lock goes.
  static void Forget(const std::string& path);
  // Removes every noted file whose name still stands for it. For a program
  // about to end at once: a thread that stopped while holding the list keeps
  // it from being read, and then nothing is removed.
  static void RemoveAll();
};
