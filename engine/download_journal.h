#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Bytes [begin, end) of a file.
struct ByteRange {
  int64_t begin = 0;
  int64_t end = 0;
  bool operator==(const ByteRange& other) const { return begin == other.begin && end == other.end; }
};

// What a later run needs to go on with a download that did not finish: the
// URL the bytes came from, the file's size and the validators the server
// gave, the name of the new file the join writes into (in the destination's
// folder), and the ranges of that file that are in place and on disk.
//
// As text it is a small file beside the destination: one line per field in
// a fixed order, a version on the first line and a checksum over everything
// on the last. Read refuses anything it would not have written itself
// (truncated, garbled, out of range, overlapping or unmerged ranges), so
// that a damaged journal never lets wrong bytes count as done.
class CDownloadJournal {
 public:
  std::string m_strURL;
  int64_t m_nSize = 0;
  std::string m_strETag;
  std::string m_strLastModified;
  std::string m_strPartName;
  // Sorted, apart from each other (touching ranges are merged).
  std::vector<ByteRange> m_done;

  std::string Write() const;
  static std::optional<CDownloadJournal> Read(const std::string& text);

  // Ranges in any order, overlapping or not, as sorted disjoint ones.
  static std::vector<ByteRange> Merge(std::vector<ByteRange> ranges);
  int64_t BytesDone() const;
  // The ranges cut, the longest first, into at most `parts` ranges of at
  // least `minimum` bytes each (where a range is cut); in order.
  static std::vector<ByteRange> Spread(std::vector<ByteRange> ranges, size_t parts, int64_t minimum);
  // The ranges of [0, size) not done, in order.
  std::vector<ByteRange> Missing() const;
  // Where a run that goes on asks first: the first byte missing, or with
  // nothing missing the last byte all the same, so that the server still
  // shows whether the file is the one the bytes came from.
  int64_t FirstByteToAsk() const;

  // The journal of a destination: beside it, named after it, its name cut
  // where it would pass the folder's limit.
  static std::string PathFor(const std::string& destination);
};
