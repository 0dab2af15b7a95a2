#include "platform/registry/registry_file_format.h"

#include <cstdio>
#include <list>
#include <optional>
#include <string_view>

#include "platform/registry/registry.h"

namespace {

constexpr char kHeaderLine[] = "Windows Registry Editor Version 5.00";
constexpr size_t kWrapColumn = 78;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() &&
         RegistryTree::SameName(std::string(s.substr(0, prefix.size())), std::string(prefix));
}

std::string ShortRootName(const std::string& rootName) {
  if (rootName == "HKEY_LOCAL_MACHINE") return "HKLM";
  if (rootName == "HKEY_CURRENT_USER") return "HKCU";
  if (rootName == "HKEY_CLASSES_ROOT") return "HKCR";
  return rootName;
}

// "ROOT\a\b" -> {a, b} when ROOT names this file's root.
std::optional<std::vector<std::string>> PathBelowRoot(std::string_view keyPath, const std::string& rootName) {
  size_t slash = keyPath.find('\\');
  std::string first(keyPath.substr(0, slash));
  if (!RegistryTree::SameName(first, rootName) && !RegistryTree::SameName(first, ShortRootName(rootName)))
    return std::nullopt;
  if (slash == std::string_view::npos) return std::vector<std::string>{};
  return RegistryTree::SplitPath(std::string(keyPath.substr(slash + 1)));
}

// Reads a quoted text starting at s[*pos] == '"'; \\ and \" are escapes.
bool ParseQuoted(std::string_view s, size_t* pos, std::string* out) {
  if (*pos >= s.size() || s[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
    out->push_back(c);
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint32_t> ParseHexNumber(std::string_view s, size_t maxDigits) {
  s = TrimRight(TrimLeft(s));
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  uint32_t n = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    n = n * 16 + static_cast<uint32_t>(d);
  }
  return n;
}

std::optional<std::vector<uint8_t>> ParseHexList(std::string_view s) {
  std::vector<uint8_t> bytes;
  s = TrimRight(TrimLeft(s));
  if (s.empty()) return bytes;
  size_t start = 0;
  for (;;) {
    size_t comma = s.find(',', start);
    std::string_view item = s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    auto byte = ParseHexNumber(item, 2);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
    if (comma == std::string_view::npos) return bytes;
    start = comma + 1;
  }
}

struct ParsedData {
  bool remove = false;
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
};

std::optional<ParsedData> ParseData(std::string_view s) {
  s = TrimRight(TrimLeft(s));
  ParsedData parsed;
  if (s == "-") {
    parsed.remove = true;
    return parsed;
  }
  if (!s.empty() && s.front() == '"') {
    std::string text;
    size_t pos = 0;
    if (!ParseQuoted(s, &pos, &text)) return std::nullopt;
    parsed.type = REG_SZ;
    parsed.data.assign(text.begin(), text.end());
    parsed.data.push_back(0);
    return parsed;
  }
  if (StartsWithNoCase(s, "dword:")) {
    auto n = ParseHexNumber(s.substr(6), 8);
    if (!n) return std::nullopt;
    parsed.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) parsed.data.push_back(static_cast<uint8_t>(*n >> (8 * i)));
    return parsed;
  }
  if (StartsWithNoCase(s, "hex:")) {
    parsed.type = REG_BINARY;
    s.remove_prefix(4);
  } else if (StartsWithNoCase(s, "hex(")) {
    size_t close = s.find("):");
    if (close == std::string_view::npos) return std::nullopt;
    auto type = ParseHexNumber(s.substr(4, close - 4), 8);
    if (!type) return std::nullopt;
    parsed.type = *type;
    s.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexList(s);
  if (!bytes) return std::nullopt;
  parsed.data = std::move(*bytes);
  return parsed;
}

// A hex list may run on over following lines that each end in a backslash.
std::string JoinContinuedLines(const std::vector<std::string_view>& lines, size_t* index) {
  std::string joined(TrimRight(lines[*index]));
  while (!joined.empty() && joined.back() == '\\' && *index + 1 < lines.size()) {
    joined.pop_back();
    ++*index;
    joined += TrimRight(TrimLeft(lines[*index]));
  }
  return joined;
}

void ApplyValueLine(std::string_view line, RegistryTree::Key* key) {
  std::string name;
  size_t pos = 0;
  if (line.front() == '@') {
    pos = 1;
  } else if (!ParseQuoted(line, &pos, &name)) {
    return;
  }
  std::string_view rest = TrimLeft(line.substr(pos));
  if (rest.empty() || rest.front() != '=') return;
  auto parsed = ParseData(rest.substr(1));
  if (!parsed) return;
  if (parsed->remove)
    key->RemoveValue(name);
  else
    key->SetValue(name, parsed->type, std::move(parsed->data));
}

// Handles "[KEY]" and "[-KEY]"; returns the key that the following values
// belong to, or null when they are to be skipped.
RegistryTree::Key* ApplySectionLine(std::string_view line, const std::string& rootName, RegistryTree* tree) {
  size_t close = line.rfind(']');
  if (close == std::string_view::npos) return nullptr;
  std::string_view inner = line.substr(1, close - 1);
  bool removal = !inner.empty() && inner.front() == '-';
  if (removal) inner.remove_prefix(1);
  auto path = PathBelowRoot(inner, rootName);
  if (!path) return nullptr;
  if (!removal) return &tree->FindOrCreate(*path);
  if (!path->empty()) {
    std::string last = path->back();
    path->pop_back();
    if (RegistryTree::Key* parent = tree->Find(*path)) parent->RemoveChild(last);
  }
  return nullptr;
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

void AppendHexList(const std::vector<uint8_t>& data, size_t lineLength, std::string* out) {
  char piece[4];
  for (size_t i = 0; i < data.size(); ++i) {
    bool last = i + 1 == data.size();
    std::snprintf(piece, sizeof piece, last ? "%02x" : "%02x,", data[i]);
    size_t pieceLength = last ? 2 : 3;
    if (i > 0 && lineLength + pieceLength + 1 > kWrapColumn) {
      *out += "\\\n  ";
      lineLength = 2;
    }
    *out += piece;
    lineLength += pieceLength;
  }
}

void AppendValue(const RegistryTree::Value& value, std::string* out) {
  size_t lineStart = out->size();
  *out += value.name.empty() ? std::string("@") : "\"" + Escape(value.name) + "\"";
  *out += '=';
  if (value.type == REG_SZ && RegistryFileFormat::IsPlainString(value.data)) {
    std::string text(value.data.begin(), value.data.end() - 1);
    *out += "\"" + Escape(text) + "\"";
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t n = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<uint32_t>(value.data[3]) << 24;
    char number[20];
    std::snprintf(number, sizeof number, "dword:%08x", n);
    *out += number;
  } else {
    char prefix[24];
    if (value.type == REG_BINARY)
      std::snprintf(prefix, sizeof prefix, "hex:");
    else
      std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    *out += prefix;
    AppendHexList(value.data, out->size() - lineStart, out);
  }
  *out += '\n';
}

void AppendSection(const RegistryTree::Key& key, const std::string& keyPath, std::string* out) {
  *out += "[" + keyPath + "]\n";
  for (const auto& value : key.Values()) AppendValue(value, out);
  *out += '\n';
}

// Depth first, in creation order. A key gets a section when it has values
// or no sub-keys: any other key is named by its sub-keys' sections, and
// writing it too would make a chain of keys cost the square of its depth.
// The path is one buffer, cut back to each level's length as it is reused.
void AppendTree(const RegistryTree::Key& root, const std::string& rootName, std::string* out) {
  struct Level {
    std::list<RegistryTree::Key>::const_iterator next, end;
    size_t pathLength;
  };
  std::string path = rootName;
  std::vector<Level> levels{{root.Children().begin(), root.Children().end(), path.size()}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.end) {
      levels.pop_back();
      continue;
    }
    const RegistryTree::Key& key = *level.next++;
    path.resize(level.pathLength);
    path += '\\';
    path += key.Name();
    if (!key.Values().empty() || key.Children().empty()) AppendSection(key, path, out);
    if (!key.Children().empty()) levels.push_back({key.Children().begin(), key.Children().end(), path.size()});
  }
}

}  // namespace

bool RegistryFileFormat::IsPlainString(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
  return true;
}

RegistryTree RegistryFileFormat::Parse(const std::string& text, const std::string& rootName) {
  std::string_view body = text;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  std::vector<std::string_view> lines = SplitLines(body);
  RegistryTree tree;
  RegistryTree::Key* current = nullptr;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = TrimLeft(lines[i]);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      current = ApplySectionLine(TrimRight(line), rootName, &tree);
    } else if ((line.front() == '"' || line.front() == '@') && current) {
      std::string joined = JoinContinuedLines(lines, &i);
      ApplyValueLine(TrimLeft(joined), current);
    }
  }
  return tree;
}

std::string RegistryFileFormat::Write(const RegistryTree& tree, const std::string& rootName) {
  std::string out = std::string(kHeaderLine) + "\n\n";
  if (!tree.Root().Values().empty()) AppendSection(tree.Root(), rootName, &out);
  AppendTree(tree.Root(), rootName, &out);
  return out;
}
