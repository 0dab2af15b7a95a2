#include "platform/registry/registry.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "platform/registry/registry_store.h"
#include "platform/registry/registry_tree.h"

// An open key is its root and the names of the path below it, spelled as
// stored when it was opened. Nothing else is kept, so the handle stays
// meaningful whatever other processes write meanwhile.
struct RegistryKey {
  uint32_t magic;
  int root;
  std::vector<std::string> path;
};

namespace {

constexpr uint32_t kKeyMagic = 0x4b524547;
constexpr size_t kMaxKeyNameLength = 255;
const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

RegistryKey g_classesRoot{kKeyMagic, 0, {}};
RegistryKey g_currentUser{kKeyMagic, 1, {}};
RegistryKey g_localMachine{kKeyMagic, 2, {}};

bool IsRoot(HKEY key) { return key == &g_classesRoot || key == &g_currentUser || key == &g_localMachine; }
bool IsValid(HKEY key) { return key && key->magic == kKeyMagic; }

RegistryStore StoreOf(HKEY key) { return RegistryStore(kRootNames[key->root]); }

bool IsWritableName(const std::string& name) {
  return name.find_first_of("\r\n") == std::string::npos;
}

bool AreWritableKeyNames(const std::vector<std::string>& names) {
  for (const std::string& name : names)
    if (name.size() > kMaxKeyNameLength || !IsWritableName(name)) return false;
  return true;
}

// The handle's own key in the tree, or null once it has been deleted.
RegistryTree::Key* Resolve(RegistryTree& tree, HKEY key) { return tree.Find(key->path); }

// Walks the names from a key; null when one is missing. Appends the names
// as stored to *storedPath.
RegistryTree::Key* Walk(RegistryTree::Key* from, const std::vector<std::string>& names,
                        std::vector<std::string>* storedPath) {
  for (const std::string& name : names) {
    from = from->FindChild(name);
    if (!from) return nullptr;
    storedPath->push_back(from->Name());
  }
  return from;
}

HKEY NewHandle(int root, std::vector<std::string> path) {
  return new RegistryKey{kKeyMagic, root, std::move(path)};
}

LONG CopyData(const std::vector<uint8_t>& stored, uint8_t* data, DWORD* size) {
  DWORD needed = static_cast<DWORD>(stored.size());
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed) std::memcpy(data, stored.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

// Copies a name with its NUL into a buffer of *size characters; *size
// becomes the length without the NUL.
LONG CopyName(const std::string& stored, char* name, DWORD* size) {
  if (stored.size() + 1 > *size) return ERROR_MORE_DATA;
  std::memcpy(name, stored.c_str(), stored.size() + 1);
  *size = static_cast<DWORD>(stored.size());
  return ERROR_SUCCESS;
}

// The handle's key in a fresh read of its root, or the reason there is none.
LONG ReadKey(HKEY key, RegistryTree* tree, const RegistryTree::Key** node) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  if (LONG status = StoreOf(key).Read(tree); status != ERROR_SUCCESS) return status;
  *node = Resolve(*tree, key);
  return *node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// One read of the value, for the conveniences (a size query followed by a
// data query could see two different files).
LONG ReadValue(HKEY key, const std::string& name, DWORD* type, std::vector<uint8_t>* data) {
  RegistryTree tree;
  const RegistryTree::Key* node = nullptr;
  if (LONG status = ReadKey(key, &tree, &node); status != ERROR_SUCCESS) return status;
  const RegistryTree::Value* value = node->FindValue(name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  *type = value->type;
  *data = value->data;
  return ERROR_SUCCESS;
}

}  // namespace

HKEY const HKEY_CLASSES_ROOT = &g_classesRoot;
HKEY const HKEY_CURRENT_USER = &g_currentUser;
HKEY const HKEY_LOCAL_MACHINE = &g_localMachine;

LONG RegOpenKeyEx(HKEY parent, const std::string& subKey, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!IsValid(parent)) return ERROR_INVALID_HANDLE;
  RegistryTree tree;
  if (LONG status = StoreOf(parent).Read(&tree); status != ERROR_SUCCESS) return status;
  RegistryTree::Key* from = Resolve(tree, parent);
  if (!from) return ERROR_KEY_DELETED;
  std::vector<std::string> path = parent->path;
  if (!Walk(from, RegistryTree::SplitPath(subKey), &path)) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(parent->root, std::move(path));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY parent, const std::string& subKey, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!IsValid(parent)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> names = RegistryTree::SplitPath(subKey);
  if (!AreWritableKeyNames(names)) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> path = parent->path;
  LONG status = StoreOf(parent).Modify([&](RegistryTree& tree, bool* changed) -> LONG {
    RegistryTree::Key* key = Resolve(tree, parent);
    if (!key) return ERROR_KEY_DELETED;
    for (const std::string& name : names) {
      RegistryTree::Key* child = key->FindChild(name);
      if (!child) {
        child = key->FindOrAddChild(name);
        *changed = true;
      }
      path.push_back(child->Name());
      key = child;
    }
    return ERROR_SUCCESS;
  });
  if (status == ERROR_SUCCESS) *result = NewHandle(parent->root, std::move(path));
  return status;
}

LONG RegCloseKey(HKEY key) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  if (IsRoot(key)) return ERROR_SUCCESS;
  key->magic = 0;
  delete key;
  return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const std::string& name, DWORD* type, uint8_t* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  DWORD storedType = REG_NONE;
  std::vector<uint8_t> stored;
  if (LONG status = ReadValue(key, name, &storedType, &stored); status != ERROR_SUCCESS) return status;
  if (type) *type = storedType;
  return CopyData(stored, data, size);
}

LONG RegSetValueEx(HKEY key, const std::string& name, DWORD type, const uint8_t* data, DWORD size) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  if ((!data && size) || !IsWritableName(name)) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> bytes(data, data + size);
  return StoreOf(key).Modify([&](RegistryTree& tree, bool* changed) -> LONG {
    RegistryTree::Key* node = Resolve(tree, key);
    if (!node) return ERROR_KEY_DELETED;
    const RegistryTree::Value* old = node->FindValue(name);
    if (old && old->type == type && old->data == bytes) return ERROR_SUCCESS;
    node->SetValue(name, type, std::move(bytes));
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  RegistryTree tree;
  const RegistryTree::Key* node = nullptr;
  if (LONG status = ReadKey(key, &tree, &node); status != ERROR_SUCCESS) return status;
  if (index >= node->Children().size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(std::next(node->Children().begin(), index)->Name(), name, nameSize);
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, uint8_t* data,
                  DWORD* dataSize) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  RegistryTree tree;
  const RegistryTree::Key* node = nullptr;
  if (LONG status = ReadKey(key, &tree, &node); status != ERROR_SUCCESS) return status;
  if (index >= node->Values().size()) return ERROR_NO_MORE_ITEMS;
  const RegistryTree::Value& value = *std::next(node->Values().begin(), index);
  if (LONG status = CopyName(value.name, name, nameSize); status != ERROR_SUCCESS) return status;
  if (type) *type = value.type;
  return CopyData(value.data, data, dataSize);
}

LONG RegDeleteKey(HKEY parent, const std::string& subKey) {
  if (!IsValid(parent)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> names = RegistryTree::SplitPath(subKey);
  if (names.empty()) return ERROR_INVALID_PARAMETER;
  std::string last = names.back();
  names.pop_back();
  return StoreOf(parent).Modify([&](RegistryTree& tree, bool* changed) -> LONG {
    RegistryTree::Key* from = Resolve(tree, parent);
    if (!from) return ERROR_KEY_DELETED;
    std::vector<std::string> ignored;
    RegistryTree::Key* owner = Walk(from, names, &ignored);
    if (!owner || !owner->RemoveChild(last)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValue(HKEY key, const std::string& name) {
  if (!IsValid(key)) return ERROR_INVALID_HANDLE;
  return StoreOf(key).Modify([&](RegistryTree& tree, bool* changed) -> LONG {
    RegistryTree::Key* node = Resolve(tree, key);
    if (!node) return ERROR_KEY_DELETED;
    if (!node->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegSetString(HKEY key, const std::string& name, const std::string& text) {
  return RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const uint8_t*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
}

LONG RegSetDword(HKEY key, const std::string& name, DWORD value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return RegSetValueEx(key, name, REG_DWORD, bytes, sizeof bytes);
}

bool RegGetString(HKEY key, const std::string& name, std::string* text) {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  if (ReadValue(key, name, &type, &data) != ERROR_SUCCESS || type != REG_SZ) return false;
  size_t length = 0;
  while (length < data.size() && data[length] != 0) ++length;
  text->assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
  return true;
}

bool RegGetString(HKEY root, const std::string& path, const std::string& name, std::string* text) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, &key) != ERROR_SUCCESS) return false;
  const bool found = RegGetString(key, name, text);
  RegCloseKey(key);
  return found;
}

bool RegGetDword(HKEY key, const std::string& name, DWORD* value) {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  if (ReadValue(key, name, &type, &data) != ERROR_SUCCESS || type != REG_DWORD || data.size() != 4)
    return false;
  *value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
  return true;
}

LONG RegGetValues(HKEY key, std::vector<RegValue>* values) {
  RegistryTree tree;
  const RegistryTree::Key* node = nullptr;
  if (LONG status = ReadKey(key, &tree, &node); status != ERROR_SUCCESS) return status;
  values->clear();
  for (const RegistryTree::Value& value : node->Values()) values->push_back({value.name, value.type, value.data});
  return ERROR_SUCCESS;
}
