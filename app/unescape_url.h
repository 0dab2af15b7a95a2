#pragma once

#include <string>

// The program's one percent-unescaping rule, for its command-line parameters:
// %% is one %, a % followed by two hexadecimal digits (either case) is that
// byte, any other % stays literal.
std::string UnescapeURL(const std::string& text);
