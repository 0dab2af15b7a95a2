#pragma once

// The process's standard input and output kept as a private channel to the
// program that started it (a browser speaking native messaging over them).

#include <cstddef>
#include <memory>
#include <string>

class StdioChannel {
 public:
  // Moves standard input and output to descriptors of the channel's own,
  // which programs started later do not inherit, and points descriptors 0
  // and 1 at /dev/null: nothing this process prints by the way, and nothing
  // it starts, can read or write the channel. Writing to a channel whose
  // reader has gone fails instead of ending the process. Null when the
  // descriptors cannot be moved. Once per process, before threads start.
  static std::unique_ptr<StdioChannel> TakeOver();
  ~StdioChannel();
  StdioChannel(const StdioChannel&) = delete;
  StdioChannel& operator=(const StdioChannel&) = delete;

  // Up to `size` bytes, waiting for the first; 0 at the end of input, -1
  // on an error.
  long Read(void* buffer, size_t size);
  // All of the data, or false.
  bool WriteAll(const std::string& data);

 private:
  StdioChannel(int in, int out) : m_in(in), m_out(out) {}

  int m_in;
  int m_out;
};
