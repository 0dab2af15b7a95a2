#include "engine/download_journal.h"

#include <algorithm>
#include <cstdio>

#include "platform/files/file_copy.h"

namespace {

constexpr char kFormatLine[] = "kestrion-journal 1";
constexpr char kSuffix[] = ".kestrion";
// What the atomic replace writes first, one character longer: the name cut
// leaves room for it.
constexpr size_t kLongestSuffix = sizeof kSuffix;

uint64_t Checksum(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// Reads the lines of a journal in their fixed order.
class LineReader {
 public:
  explicit LineReader(const std::string& text) : m_text(text) {}

  // The rest of the next line after "key " (the line must be all of it).
  std::optional<std::string> Field(const std::string& key) {
    const size_t end = m_text.find('\n', m_at);
    if (end == std::string::npos) return std::nullopt;
    const std::string line = m_text.substr(m_at, end - m_at);
    if (line.compare(0, key.size() + 1, key + " ") != 0) return std::nullopt;
    m_at = end + 1;
    const std::string value = line.substr(key.size() + 1);
    if (HasControl(value)) return std::nullopt;
    return value;
  }
  bool Line(const std::string& expected) {
    if (m_text.compare(m_at, expected.size() + 1, expected + "\n") != 0) return false;
    m_at += expected.size() + 1;
    return true;
  }
  bool NextIs(const std::string& key) const { return m_text.compare(m_at, key.size() + 1, key + " ") == 0; }
  size_t Position() const { return m_at; }
  bool AtEnd() const { return m_at == m_text.size(); }

 private:
  const std::string& m_text;
  size_t m_at = 0;
};

// A count as Write puts it: decimal digits, no sign, no leading zero, within
// an int64_t.
std::optional<int64_t> Number(const std::string& text) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value > (INT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<ByteRange> Range(const std::string& text) {
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  const std::optional<int64_t> begin = Number(text.substr(0, blank));
  const std::optional<int64_t> end = Number(text.substr(blank + 1));
  if (!begin || !end) return std::nullopt;
  return ByteRange{*begin, *end};
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::string CDownloadJournal::Write() const {
  std::string text = std::string(kFormatLine) + "\n";
  text += "url " + m_strURL + "\n";
  text += "size " + std::to_string(m_nSize) + "\n";
  text += "etag " + m_strETag + "\n";
  text += "modified " + m_strLastModified + "\n";
  text += "part " + m_strPartName + "\n";
  for (const ByteRange& range : m_done)
    text += "done " + std::to_string(range.begin) + " " + std::to_string(range.end) + "\n";
  return text + "sum " + Hex(Checksum(text)) + "\n";
}

std::optional<CDownloadJournal> CDownloadJournal::Read(const std::string& text) {
  LineReader lines(text);
  CDownloadJournal journal;
  if (!lines.Line(kFormatLine)) return std::nullopt;
  const auto url = lines.Field("url");
  const auto size = lines.Field("size");
  const auto etag = lines.Field("etag");
  const auto modified = lines.Field("modified");
  const auto part = lines.Field("part");
  if (!url || !size || !etag || !modified || !part || url->empty() || !IsPlainName(*part)) return std::nullopt;
  const std::optional<int64_t> bytes = Number(*size);
  if (!bytes || *bytes <= 0) return std::nullopt;
  journal.m_strURL = *url;
  journal.m_nSize = *bytes;
  journal.m_strETag = *etag;
  journal.m_strLastModified = *modified;
  journal.m_strPartName = *part;
  while (lines.NextIs("done")) {
    const std::optional<std::string> field = lines.Field("done");
    const std::optional<ByteRange> range = field ? Range(*field) : std::nullopt;
    const int64_t floor = journal.m_done.empty() ? 0 : journal.m_done.back().end + 1;
    if (!range || range->begin < floor || range->end <= range->begin || range->end > journal.m_nSize)
      return std::nullopt;
    journal.m_done.push_back(*range);
  }
  const size_t summed = lines.Position();
  if (!lines.Line("sum " + Hex(Checksum(text.substr(0, summed)))) || !lines.AtEnd()) return std::nullopt;
  return journal;
}

std::vector<ByteRange> CDownloadJournal::Merge(std::vector<ByteRange> ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
  std::vector<ByteRange> merged;
  for (const ByteRange& range : ranges) {
    if (range.end <= range.begin) continue;
    if (!merged.empty() && range.begin <= merged.back().end)
      merged.back().end = std::max(merged.back().end, range.end);
    else
      merged.push_back(range);
  }
  return merged;
}

std::vector<ByteRange> CDownloadJournal::Spread(std::vector<ByteRange> ranges, size_t parts, int64_t minimum) {
  auto length = [](const ByteRange& range) { return range.end - range.begin; };
  while (ranges.size() < parts) {
    const auto longest = std::max_element(ranges.begin(), ranges.end(), [&](const ByteRange& a, const ByteRange& b) {
      return length(a) < length(b);
    });
    if (longest == ranges.end() || length(*longest) < 2 * minimum) break;
    const ByteRange whole = *longest;
    const int64_t middle = whole.begin + length(whole) / 2;
    *longest = {whole.begin, middle};
    ranges.insert(longest + 1, {middle, whole.end});
  }
  return ranges;
}

int64_t CDownloadJournal::BytesDone() const {
  int64_t total = 0;
  for (const ByteRange& range : m_done) total += range.end - range.begin;
  return total;
}

std::vector<ByteRange> CDownloadJournal::Missing() const {
  std::vector<ByteRange> missing;
  int64_t pos = 0;
  for (const ByteRange& range : m_done) {
    if (range.begin > pos) missing.push_back({pos, range.begin});
    pos = range.end;
  }
  if (pos < m_nSize) missing.push_back({pos, m_nSize});
  return missing;
}

std::string CDownloadJournal::PathFor(const std::string& destination) {
  return StemWithRoomFor(destination, kLongestSuffix) + kSuffix;
}

int64_t CDownloadJournal::FirstByteToAsk() const {
  const std::vector<ByteRange> missing = Missing();
  return missing.empty() ? m_nSize - 1 : missing.front().begin;
}
