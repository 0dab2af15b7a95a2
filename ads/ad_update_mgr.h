#pragma once

#include <cstdint>

// Keeps the banner pictures current. Held by value in the application
// object; started when a user's download turns out to be large.
class CADUpdateMgr {
 public:
  // Starts the update when the download is larger than 250000 bytes.
  void StartIfLarge(int64_t fileSize);
};
