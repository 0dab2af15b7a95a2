#pragma once

// The program's one error type and its message formatting. Plain values,
// usable on any thread; every other platform folder may use them.

#include <stdexcept>
#include <string>

// A failure raised with a user-visible message. Thrown by value and caught by
// reference where an operation begins; the text is shown as it stands.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& text) : std::runtime_error(text) {}
  std::string Text() const { return what(); }
};

// printf-style formatting into a std::string, for the program's message texts.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
