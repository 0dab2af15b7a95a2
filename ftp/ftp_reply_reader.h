#pragma once

#include <cstddef>
#include <string>

// One whole reply of the control connection.
struct FtpReply {
  std::string code;      // three digits
  std::string lastLine;  // the line that ended the reply, code included
  std::string text;      // every line of the reply, each ended by "\n"
};

// Cuts what the control connection receives into replies. Lines end at CR LF
// only. A reply begins with a line of three digits followed by a blank (a
// reply of one line) or a hyphen (a reply that runs on to the first later
// line made of the same digits and a blank, whatever the lines between look
// like). Lines outside a reply are passed over. A reply, or a line outside
// one, that grows past kMaxReply bytes is refused. The work is linear in the
// bytes given.
//
// Threads: one thread at a time.
class FtpReplyReader {
 public:
  static constexpr size_t kMaxReply = 64 * 1024;

  enum class Result { kReply, kNeedMore, kTooLong };

  void Append(const char* data, size_t count);
  // Takes the next whole reply out of what has been appended. After kTooLong
  // the reader gives nothing more.
  Result Next(FtpReply* reply);

 private:
  // The next line ended by CR LF, without it; false when none is complete.
  bool NextLine(std::string* line);
  // Bytes of the current reply so far, with the unfinished line.
  size_t PendingBytes() const;

  std::string m_buffer;
  size_t m_lineStart = 0;  // where the first unread line begins
  size_t m_scanFrom = 0;   // where the search for its CR LF goes on
  bool m_bInReply = false;
  bool m_bRefused = false;
  FtpReply m_current;
};
