#pragma once

#include <string>

#include "platform/base/failure.h"
#include "platform/com/hresult.h"

// How the tools print a status: "0x800C0011".
inline std::string StatusText(HRESULT hr) { return Format("0x%08X", static_cast<unsigned>(hr)); }
