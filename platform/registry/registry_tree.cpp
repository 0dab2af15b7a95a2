#include "platform/registry/registry_tree.h"

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

// The grandchildren are taken over before each child goes, so no key is
// destroyed inside another's destructor however deep the tree.
RegistryTree::Key::~Key() {
  std::list<Key> doomed;
  doomed.splice(doomed.end(), m_children);
  while (!doomed.empty()) {
    doomed.splice(doomed.end(), doomed.front().m_children);
    doomed.pop_front();
  }
}

RegistryTree::Key* RegistryTree::Key::FindChild(const std::string& name) const {
  auto it = m_childIndex.find(FoldCase(name));
  return it == m_childIndex.end() ? nullptr : &*it->second;
}

RegistryTree::Key* RegistryTree::Key::FindOrAddChild(const std::string& name) {
  auto [it, added] = m_childIndex.try_emplace(FoldCase(name));
  if (added) it->second = m_children.emplace(m_children.end(), name);
  return &*it->second;
}

bool RegistryTree::Key::RemoveChild(const std::string& name) {
  auto it = m_childIndex.find(FoldCase(name));
  if (it == m_childIndex.end()) return false;
  m_children.erase(it->second);
  m_childIndex.erase(it);
  return true;
}

const RegistryTree::Value* RegistryTree::Key::FindValue(const std::string& name) const {
  auto it = m_valueIndex.find(FoldCase(name));
  return it == m_valueIndex.end() ? nullptr : &*it->second;
}

void RegistryTree::Key::SetValue(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
  auto [it, added] = m_valueIndex.try_emplace(FoldCase(name));
  if (added) {
    it->second = m_values.insert(m_values.end(), Value{name, type, std::move(data)});
    return;
  }
  it->second->type = type;
  it->second->data = std::move(data);
}

bool RegistryTree::Key::RemoveValue(const std::string& name) {
  auto it = m_valueIndex.find(FoldCase(name));
  if (it == m_valueIndex.end()) return false;
  m_values.erase(it->second);
  m_valueIndex.erase(it);
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
