#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace testenv {

// Sets AllowHTTPS under the program's key in the registry KESTRION_REGISTRY
// names now, or deletes the value for nullopt.
void SetHttpsSwitch(std::optional<uint32_t> value);

// What a switch set to `value` is expected to do: allow https only when it
// is set and not 0 and this build has TLS.
bool HttpsExpected(std::optional<uint32_t> value);

// Runs body with the switch absent, 0 and 1 (traced), telling it whether
// https is then expected; leaves the switch absent.
void ForEachHttpsSwitch(const std::function<void(bool allowed)>& body);

}  // namespace testenv
