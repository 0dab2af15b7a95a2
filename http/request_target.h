#pragma once

#include <string>

// The object path as it may stand in a request line: every byte that may not
// appear raw in a request-target is percent-encoded (blank, control bytes,
// bytes 0x80 and above, " < > \ ^ ` { | } #, and a % that does not begin a
// %XX escape). Escapes already present and every other byte stay as they are;
// an empty path becomes "/".
std::string EncodeRequestTarget(const std::string& path);
