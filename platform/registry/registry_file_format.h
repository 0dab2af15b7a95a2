#pragma once

#include <string>

#include "platform/registry/registry_tree.h"

// The registry export text of one root:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\PROTOCOLS\Name-Space Handler\http\ZKS]
//   "CLSID"="{...}"
//   @=dword:0000000a
//   "Blob"=hex:01,02
//
// Writing gives a section, in tree order with a blank line after each, to
// every key that has values or no sub-keys; the others are the parents
// named in their sub-keys' sections. Reading and writing take time in
// proportion to the text, and neither recurses. Reading accepts what people and installers write too: sections
// in any order or repeated, parents without sections, CR LF, blank lines, ';'
// comments, hex lists continued with a trailing backslash, the short root
// names (HKCR, HKCU, HKLM), "[-KEY]" and "name"=- removals. Lines it cannot
// make sense of, and sections of other roots, are skipped.
class RegistryFileFormat {
 public:
  static RegistryTree Parse(const std::string& text, const std::string& rootName);
  static std::string Write(const RegistryTree& tree, const std::string& rootName);

  // Whether REG_SZ data can be written as "text": one terminating NUL and no
  // other NUL or line break. Other string data is written as hex(1).
  static bool IsPlainString(const std::vector<uint8_t>& data);
};
