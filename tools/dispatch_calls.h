#pragma once

#include <optional>
#include <string>
#include <vector>

// One late-bound call of dispcall: a method name and its string arguments.
struct DispatchCall {
  std::string method;
  std::vector<std::string> arguments;
};

// Splits "METHOD [ARG...] [-- METHOD [ARG...]]..." at each "--". Nothing
// when there is no call or a call has no method name.
std::optional<std::vector<DispatchCall>> ParseDispatchCalls(const std::vector<std::string>& words);
