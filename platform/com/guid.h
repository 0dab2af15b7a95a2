#pragma once

// Globally unique identifiers as the component model uses them: class ids,
// interface ids, type-library ids. Plain values, any thread.

#include <cstdint>
#include <optional>
#include <string>

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend bool operator==(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

// "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}": braces, upper-case hex.
std::string StringFromGUID(const GUID& guid);
// Reads that form, in either case; the braces are required, nothing may
// follow the closing one.
std::optional<GUID> GUIDFromString(const std::string& text);
