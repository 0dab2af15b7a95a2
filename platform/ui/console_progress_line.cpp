#include "platform/ui/console_progress_line.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char kSeparator[] = "  ";

struct Field {
  std::string text;
  int rank;  // 0 is the last to go
};

size_t Characters(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The window's time text holds its parts apart by runs of blanks: the time
// left, then the bytes so far.
std::vector<std::string> Parts(const std::string& text) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at < text.size()) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string::npos) break;
    size_t end = text.find("  ", at);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(at, end - at));
    at = end;
  }
  return parts;
}

size_t Width(const std::vector<Field>& fields) {
  size_t width = 0;
  for (const Field& field : fields) width += Characters(field.text) + (width > 0 ? sizeof kSeparator - 1 : 0);
  return width;
}

}  // namespace

std::string CutToColumns(const std::string& text, size_t columns) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == columns) return text.substr(0, i);
  }
  return text;
}

std::string ConsoleProgressLine(const WindowState& state, bool detailsKey, size_t columns) {
  const bool percentKnown = state.progress > 0;
  const std::vector<std::string> times = Parts(state.timeLeft);
  std::vector<Field> fields;
  auto add = [&](const std::string& text, int rank) {
    if (!text.empty()) fields.push_back({text, rank});
  };
  add(state.saving.empty() ? state.title : state.saving, 5);
  if (percentKnown) add(std::to_string(state.progress) + "%", 0);
  if (!times.empty()) add(times[0], percentKnown ? 1 : 2);
  for (size_t i = 1; i < times.size(); ++i) add(times[i], percentKnown ? 2 : 1);
  add(state.rate, 3);
  if (detailsKey) add(kConsoleDetailsHint, 4);
  for (int rank = 5; rank > 0 && Width(fields) > columns; --rank)
    fields.erase(std::remove_if(fields.begin(), fields.end(), [rank](const Field& f) { return f.rank == rank; }),
                 fields.end());
  std::string line;
  for (const Field& field : fields) line += (line.empty() ? "" : kSeparator) + field.text;
  return CutToColumns(line, columns);
}
