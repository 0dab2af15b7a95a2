#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

// The client settings every secure connection starts from: TLS 1.2 and 1.3
// only, the server's certificate verified against the system's trust store
// and the PEM file named by CAFile under the program's key, records read
// ahead in large blocks. CAFile is read at each call; the settings are made
// afresh when it names another file or the file has changed, and shared
// otherwise (loading the trust store costs more than a handshake).
//
// Thread-safe. Null, with a reason for the kSecureConnectionFailed sentence,
// when the settings cannot be made (CAFile names a file that cannot be read).
std::shared_ptr<SSL_CTX> ClientContext(std::string* reason);
