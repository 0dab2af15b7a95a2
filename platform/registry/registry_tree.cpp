#include "platform/registry/registry_tree.h"

#include <algorithm>

std::string RegistryTree::FoldCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool RegistryTree::SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> RegistryTree::SplitPath(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

RegistryTree::Key* RegistryTree::Key::FindChild(const std::string& name) const {
  auto it = m_childIndex.find(FoldCase(name));
  return it == m_childIndex.end() ? nullptr : it->second;
}

RegistryTree::Key* RegistryTree::Key::FindOrAddChild(const std::string& name) {
  std::string folded = FoldCase(name);
  auto it = m_childIndex.find(folded);
  if (it != m_childIndex.end()) return it->second;
  m_children.push_back(std::make_unique<Key>(name));
  Key* child = m_children.back().get();
  m_childIndex.emplace(std::move(folded), child);
  return child;
}

bool RegistryTree::Key::RemoveChild(const std::string& name) {
  auto it = m_childIndex.find(FoldCase(name));
  if (it == m_childIndex.end()) return false;
  Key* child = it->second;
  m_childIndex.erase(it);
  m_children.erase(std::find_if(m_children.begin(), m_children.end(),
                                [child](const std::unique_ptr<Key>& k) { return k.get() == child; }));
  return true;
}

const RegistryTree::Value* RegistryTree::Key::FindValue(const std::string& name) const {
  for (const Value& v : m_values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

void RegistryTree::Key::SetValue(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
  for (Value& v : m_values) {
    if (SameName(v.name, name)) {
      v.type = type;
      v.data = std::move(data);
      return;
    }
  }
  m_values.push_back(Value{name, type, std::move(data)});
}

bool RegistryTree::Key::RemoveValue(const std::string& name) {
  auto it = std::find_if(m_values.begin(), m_values.end(),
                         [&name](const Value& v) { return SameName(v.name, name); });
  if (it == m_values.end()) return false;
  m_values.erase(it);
  return true;
}

RegistryTree::Key* RegistryTree::Find(const std::vector<std::string>& path) {
  Key* key = &m_root;
  for (const std::string& name : path) {
    key = key->FindChild(name);
    if (!key) return nullptr;
  }
  return key;
}

RegistryTree::Key& RegistryTree::FindOrCreate(const std::vector<std::string>& path) {
  Key* key = &m_root;
  for (const std::string& name : path) key = key->FindOrAddChild(name);
  return *key;
}
