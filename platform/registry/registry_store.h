#pragma once

#include <functional>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_tree.h"

// Where one root of the registry is stored, and how it is read and changed.
// Nothing is cached: each Read and Modify goes to the file as it is now.
// A missing file or folder reads as an empty root.
class RegistryStore {
 public:
  // A change to the tree: returns ERROR_SUCCESS and sets *changed when the
  // file is to be rewritten.
  using Change = std::function<LONG(RegistryTree& tree, bool* changed)>;

  explicit RegistryStore(std::string rootName);

  // The folder: $KESTRION_REGISTRY, else $XDG_CONFIG_HOME/kestrion/registry,
  // else ~/.config/kestrion/registry. Looked up on every call.
  static std::string Folder();

  LONG Read(RegistryTree* tree) const;
  // Read, change and write back under the folder's exclusive lock. The new
  // text goes to a temporary file that is synced and renamed over the old
  // one, so a reader sees the old file or the new one, never a mixture.
  LONG Modify(const Change& change) const;

 private:
  LONG ReadFrom(const std::string& folder, RegistryTree* tree) const;
  LONG WriteTo(const std::string& folder, const RegistryTree& tree) const;

  std::string m_rootName;
};
