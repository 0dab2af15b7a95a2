#pragma once

// The least of type-library registration: where a library's type
// information lives and which interfaces it describes, so that clients can
// find them by id.
//
//   HKCR\TypeLib\{LIBID}\MAJOR.MINOR          = help string
//   HKCR\TypeLib\{LIBID}\MAJOR.MINOR\0\linux  = path of the library
//   HKCR\TypeLib\{LIBID}\MAJOR.MINOR\FLAGS    = "0"
//   HKCR\TypeLib\{LIBID}\MAJOR.MINOR\HELPDIR  = folder of the library
//   HKCR\Interface\{IID}                      = interface name
//   HKCR\Interface\{IID}\TypeLib              = {LIBID}, val Version = MAJOR.MINOR
//
// Versions are written in hexadecimal, as the platform does.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

struct TypeLibInterface {
  IID iid;
  std::string name;
};

struct TypeLibrary {
  GUID libid;
  uint16_t majorVersion;
  uint16_t minorVersion;
  std::string helpString;
  std::vector<TypeLibInterface> interfaces;
};

HRESULT RegisterTypeLib(const TypeLibrary& library, const std::string& path);
// Removes that version of the library and every interface registered as
// belonging to it; the library's key goes when no other version is left.
HRESULT UnRegisterTypeLib(const GUID& libid, uint16_t majorVersion, uint16_t minorVersion);
