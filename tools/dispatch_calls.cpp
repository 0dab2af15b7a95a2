#include "tools/dispatch_calls.h"

std::optional<std::vector<DispatchCall>> ParseDispatchCalls(const std::vector<std::string>& words) {
  std::vector<DispatchCall> calls(1);
  for (const std::string& word : words) {
    if (word == "--")
      calls.emplace_back();
    else if (calls.back().method.empty())
      calls.back().method = word;
    else
      calls.back().arguments.push_back(word);
  }
  for (const DispatchCall& call : calls)
    if (call.method.empty()) return std::nullopt;
  return calls;
}
