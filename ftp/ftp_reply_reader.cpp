#include "ftp/ftp_reply_reader.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Three digits and then a blank or a hyphen.
bool BeginsReply(const std::string& line) {
  return line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
         (line[3] == ' ' || line[3] == '-');
}

}  // namespace

// Read lines are dropped once they make up half the buffer, so each byte is
// moved at most once. Bytes that pile up unread (a server that talks on
// while a reply is being handled) have a bound of their own.
void FtpReplyReader::Append(const char* data, size_t count) {
  if (m_bRefused) return;
  if (m_lineStart > 0 && m_lineStart >= m_buffer.size() / 2) {
    m_buffer.erase(0, m_lineStart);
    m_scanFrom -= m_lineStart;
    m_lineStart = 0;
  }
  m_buffer.append(data, count);
  if (m_buffer.size() - m_lineStart > 2 * kMaxReply) m_bRefused = true;
}

FtpReplyReader::Result FtpReplyReader::Next(FtpReply* reply) {
  std::string line;
  while (!m_bRefused) {
    if (!NextLine(&line)) {
      if (PendingBytes() <= kMaxReply) return Result::kNeedMore;
      m_bRefused = true;
      break;
    }
    if (!m_bInReply) {
      if (!BeginsReply(line)) {
        if (line.size() > kMaxReply) m_bRefused = true;
        continue;
      }
      m_current = FtpReply{line.substr(0, 3), std::string(), std::string()};
      m_bInReply = true;
    }
    m_current.text += line;
    m_current.text += '\n';
    if (m_current.text.size() > kMaxReply) {
      m_bRefused = true;
      break;
    }
    // Only the opening line's own code and a blank end a reply.
    const bool last = line.size() >= 4 && line.compare(0, 3, m_current.code) == 0 && line[3] == ' ';
    if (!last) continue;
    m_current.lastLine = std::move(line);
    m_bInReply = false;
    *reply = std::move(m_current);
    m_current = FtpReply();
    return Result::kReply;
  }
  return Result::kTooLong;
}

// The search for CR LF goes on where the last one stopped, so a line that
// arrives a byte at a time is still read once.
bool FtpReplyReader::NextLine(std::string* line) {
  while (m_scanFrom + 1 < m_buffer.size()) {
    const size_t cr = m_buffer.find('\r', m_scanFrom);
    if (cr == std::string::npos || cr + 1 >= m_buffer.size()) {
      m_scanFrom = m_buffer.size() - 1;
      return false;
    }
    if (m_buffer[cr + 1] != '\n') {
      m_scanFrom = cr + 1;
      continue;
    }
    line->assign(m_buffer, m_lineStart, cr - m_lineStart);
    m_lineStart = m_scanFrom = cr + 2;
    return true;
  }
  return false;
}

size_t FtpReplyReader::PendingBytes() const {
  return (m_bInReply ? m_current.text.size() : 0) + (m_buffer.size() - m_lineStart);
}
