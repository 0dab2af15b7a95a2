#pragma once

#include <cstdint>
#include <optional>

namespace testenv {

// Sets AllowHTTPS under the program's key in the registry KESTRION_REGISTRY
// names now, or deletes the value for nullopt.
void SetHttpsSwitch(std::optional<uint32_t> value);

// What a switch set to `value` is expected to do: allow https only when it
// is set and not 0 and this build has TLS.
bool HttpsExpected(std::optional<uint32_t> value);

}  // namespace testenv
