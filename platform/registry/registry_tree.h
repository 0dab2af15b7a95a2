#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// One root of the registry held in memory between reading its file and
// writing it back. Names compare without regard to ASCII case and keep the
// case they were created with. Sub-keys and values keep their creation order,
// which is the order of enumeration and of the file. Not thread-safe; each
// registry call builds its own.
class RegistryTree {
 public:
  struct Value {
    std::string name;  // empty: the key's default value
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };

  class Key {
   public:
    explicit Key(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }

    Key* FindChild(const std::string& name) const;
    // The existing child of that name, or a new last one.
    Key* FindOrAddChild(const std::string& name);
    bool RemoveChild(const std::string& name);
    const std::vector<std::unique_ptr<Key>>& Children() const { return m_children; }

    const Value* FindValue(const std::string& name) const;
    // Replaces the data of an existing value in place (its name keeps its
    // first spelling and its place), or appends a new one.
    void SetValue(const std::string& name, uint32_t type, std::vector<uint8_t> data);
    bool RemoveValue(const std::string& name);
    const std::vector<Value>& Values() const { return m_values; }

   private:
    std::string m_name;
    std::vector<std::unique_ptr<Key>> m_children;
    std::unordered_map<std::string, Key*> m_childIndex;  // by folded name
    std::vector<Value> m_values;
  };

  RegistryTree() : m_root("") {}
  Key& Root() { return m_root; }
  const Key& Root() const { return m_root; }

  // Paths are lists of names below the root; an empty path is the root.
  Key* Find(const std::vector<std::string>& path);
  Key& FindOrCreate(const std::vector<std::string>& path);

  // Splits "a\b\c" into its names, skipping empty ones.
  static std::vector<std::string> SplitPath(const std::string& path);
  static std::string FoldCase(const std::string& name);
  static bool SameName(const std::string& a, const std::string& b);

 private:
  Key m_root;
};
