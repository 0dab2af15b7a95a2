#pragma once

#include <string>

// The program's one percent-unescaping rule, for its command-line parameters:
// %% is one %, a % followed by decimal digits takes the whole digit run as a
// hexadecimal number and keeps its low 8 bits, any other % stays literal.
std::string UnescapeURL(const std::string& text);
