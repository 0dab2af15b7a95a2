#include "platform/net/tls_channel.h"
#include "platform/net/tls_messages.h"

// Built without OpenSSL: no channel ever opens.
bool TlsAvailable() { return false; }

void EndTlsOnThisThread() {}

std::unique_ptr<TlsChannel> TlsChannel::Open(int, const std::string&, std::string* reason) {
  *reason = tls_messages::kNoTlsInThisBuild;
  return nullptr;
}
