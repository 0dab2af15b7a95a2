#include "tests/support/loopback_server.h"

namespace testenv {

namespace {

constexpr int kStartAttempts = 3;

}  // namespace

void LoopbackServer::StartWithRetries(const std::function<bool()>& start) {
  for (int attempt = 0; attempt < kStartAttempts && !Running(); ++attempt) start();
}

}  // namespace testenv
