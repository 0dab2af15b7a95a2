#include "platform/net/tls_channel.h"

// Apart from the channel, so that asking costs a library nothing of OpenSSL.
bool TlsAvailable() { return true; }
