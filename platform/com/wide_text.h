#pragma once

// Wide (UTF-16) text, as interfaces of the component model pass it, and the
// allocator for memory one library hands to another. Narrow text is UTF-8.

#include <cstddef>
#include <string>

// Invalid UTF-8 becomes U+FFFD.
std::u16string WideFromUtf8(const std::string& text);
// An unpaired surrogate becomes '?', as the platform's narrow conversion
// writes its default character.
std::string Utf8FromWide(const std::u16string& text);
std::string Utf8FromWide(const char16_t* text);

// Memory whose ownership passes between libraries: whoever receives it frees
// it with CoTaskMemFree.
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* memory);
// A NUL-terminated copy from CoTaskMemAlloc; null when out of memory.
char16_t* CoTaskMemDupString(const std::u16string& text);
