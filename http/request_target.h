#pragma once

#include <string>

// The object path as it may stand in a request line. Every byte that may not
// appear raw in a request-target is percent-encoded: blank, control bytes,
// bytes 0x80 and above, and " < > \ ^ ` { | } #. Every other byte stays; an
// empty path becomes "/".

// For a path already unescaped (a command line's): a '%' in it is a '%' of
// the name and goes out as %25.
std::string EncodeRequestTarget(const std::string& path);
// For a path as a server wrote it (a redirect's location): its escapes stay
// as they are, and only a '%' that does not begin a %XX escape is encoded.
std::string EncodeLocationTarget(const std::string& path);
