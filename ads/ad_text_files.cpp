#include "ads/ad_text_files.h"

namespace {

bool ReadLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace

bool ReadAdList(std::istream& in, std::list<CADFileEntry>* entries) {
  entries->clear();
  bool lineRead = false;
  std::string line;
  while (ReadLine(in, &line)) {
    lineRead = true;
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    entries->emplace_front(line.substr(0, comma), line.substr(comma + 1));
  }
  return lineRead;
}

std::string ReadInstallConfig(std::istream& in) {
  std::string line;
  ReadLine(in, &line);
  return line;
}
