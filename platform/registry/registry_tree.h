#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

// One root of the registry held in memory between reading its file and
// writing it back. Names compare without regard to ASCII case and keep the
// case they were created with. Sub-keys and values keep their creation order,
// which is the order of enumeration and of the file. Finding, adding and
// removing a name costs its logarithm, whatever the count; nothing recurses,
// so a key may be nested as deep as a file says. Not thread-safe; each
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
    ~Key();
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;

    const std::string& Name() const { return m_name; }

    Key* FindChild(const std::string& name) const;
    // The existing child of that name, or a new last one.
    Key* FindOrAddChild(const std::string& name);
    bool RemoveChild(const std::string& name);
    const std::list<Key>& Children() const { return m_children; }

    const Value* FindValue(const std::string& name) const;
    // Replaces the data of an existing value in place (its name keeps its
    // first spelling and its place), or appends a new one.
    void SetValue(const std::string& name, uint32_t type, std::vector<uint8_t> data);
    bool RemoveValue(const std::string& name);
    const std::list<Value>& Values() const { return m_values; }

   private:
    std::string m_name;
    std::list<Key> m_children;
    std::map<std::string, std::list<Key>::iterator> m_childIndex;  // by folded name
    std::list<Value> m_values;
    std::map<std::string, std::list<Value>::iterator> m_valueIndex;  // by folded name
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
