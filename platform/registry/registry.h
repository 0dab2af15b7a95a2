#pragma once

// The registry: three roots stored as text files in the export format, one
// per root, in $KESTRION_REGISTRY (default ~/.config/kestrion/registry).
// Key paths and value names are case-insensitive and case-preserving. Every
// call reads what is stored now; every change is written under an exclusive
// lock to a new file that replaces the old one atomically, so processes may
// share it. An open key is a path: it stays valid when another process
// changes the file, and reads fail once the key is gone. Any thread may call
// it; each call stands alone.

#include <cstdint>
#include <string>
#include <vector>

using LONG = int32_t;
using DWORD = uint32_t;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_CANTWRITE = 1013;
// The key behind an open handle has been deleted (by this or another process).
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

struct RegistryKey;
using HKEY = RegistryKey*;

extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

// Sub-key paths use backslashes. Opened and created keys are closed with
// RegCloseKey; the roots need no closing.
LONG RegOpenKeyEx(HKEY parent, const std::string& subKey, HKEY* result);
LONG RegCreateKeyEx(HKEY parent, const std::string& subKey, HKEY* result);
LONG RegCloseKey(HKEY key);

// An empty name is the key's default value. *size is the buffer size in and
// the data size out; a null data pointer asks for the size alone; a buffer
// too small gives ERROR_MORE_DATA. REG_SZ data includes its terminating NUL.
LONG RegQueryValueEx(HKEY key, const std::string& name, DWORD* type, uint8_t* data, DWORD* size);
LONG RegSetValueEx(HKEY key, const std::string& name, DWORD type, const uint8_t* data, DWORD size);

// Enumeration by index from 0 until ERROR_NO_MORE_ITEMS. *nameSize is the
// buffer size in characters (NUL included) in, the name's length out.
LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, uint8_t* data,
                  DWORD* dataSize);

// Deletes the sub-key with all its sub-keys.
LONG RegDeleteKey(HKEY parent, const std::string& subKey);
LONG RegDeleteValue(HKEY key, const std::string& name);

// Conveniences over the calls above.
LONG RegSetString(HKEY key, const std::string& name, const std::string& text);
LONG RegSetDword(HKEY key, const std::string& name, DWORD value);
// False when the value is missing or of another type.
bool RegGetString(HKEY key, const std::string& name, std::string* text);
// The same for the key at path under root, opened and closed for the read.
bool RegGetString(HKEY root, const std::string& path, const std::string& name, std::string* text);
bool RegGetDword(HKEY key, const std::string& name, DWORD* value);

struct RegValue {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};
// Every value of the key, in enumeration order, from one read of the file:
// what a loop of RegEnumValue gives, for a cost in proportion to the file
// rather than to the file times the count.
LONG RegGetValues(HKEY key, std::vector<RegValue>* values);
