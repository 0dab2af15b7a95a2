#pragma once

#include <termios.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A terminal session's three descriptors, and the live lines at the bottom
// of the error stream: the lines of the one progress window drawn there,
// redrawn in place, only while both output streams are terminals. Shared by
// the console backend and its views; every write goes through here under the
// lock. The descriptors stay open and owned by the caller.
class ConsoleTerminal {
 public:
  ConsoleTerminal(int in, int out, int err);
  ~ConsoleTerminal();  // leaves key mode

  int In() const { return m_in; }
  int Out() const { return m_out; }
  int Err() const { return m_err; }
  bool InIsTerminal() const { return m_inIsTerminal; }
  // Both output streams are terminals: the one place where lines redrawn in
  // place are seen as such, and not kept in a file as a heap of updates.
  bool DrawsLiveLines() const { return m_outIsTerminal && m_errIsTerminal; }
  // The characters a live line may hold: one less than the terminal's width,
  // so that the cursor never wraps.
  size_t Columns() const;

  std::recursive_timed_mutex& Lock() { return m_lock; }

  // The rest under the lock.
  void Write(int fd, const std::string& data);
  // Replaces the live lines (one or two, each fitted to Columns) with these,
  // drawn for `owner`.
  void DrawLiveLines(const void* owner, const std::vector<std::string>& lines);
  void ClearLiveLines();
  bool DrawsFor(const void* owner) const { return m_liveOwner == owner; }
  // The lines drawn stay on the screen; what follows starts below them.
  void KeepLiveLines(const void* owner);
  // The program ends: the live lines stay, the terminal gets its own mode
  // back, and nothing is drawn in place any more. Without the lock, when a
  // thread keeps it, nothing is done.
  void End();

  // Key mode: single key presses are read as they come, without echo, from
  // an input that is a terminal while live lines are drawn.
  bool CanReadKeys() const { return m_inIsTerminal && DrawsLiveLines(); }
  void SetKeyMode(bool on);
  // The bytes waiting on the input, without blocking.
  std::string ReadWaitingBytes();
  // One line from the input, without its newline; none at end of input or
  // when the calling thread is told to quit meanwhile (the quit stays
  // pending). Read with the terminal's own line editing, whatever the key
  // mode, while the calling thread's loop keeps running.
  std::optional<std::string> ReadLine();
  bool QuestionOpen() const { return m_questionOpen; }

 private:
  void ApplyKeyMode(bool on);

  int m_in, m_out, m_err;
  bool m_inIsTerminal, m_outIsTerminal, m_errIsTerminal;
  bool m_ended = false;
  std::recursive_timed_mutex m_lock;
  const void* m_liveOwner = nullptr;
  size_t m_liveLines = 0;
  bool m_keyMode = false;
  bool m_questionOpen = false;
  termios m_savedMode{};
};
