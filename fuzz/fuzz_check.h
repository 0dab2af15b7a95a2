#pragma once

#include <cstdio>
#include <cstdlib>

// A property a harness holds the code to. A failure ends the process the way
// a crash does, so that the fuzzer keeps the input and a replay fails on it.
inline void FuzzCheck(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}
