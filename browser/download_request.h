#pragma once

// What the extension tells the host of a download the browser has started.

#include <cstdint>
#include <optional>
#include <string>

struct DownloadRequest {
  std::string url;
  std::string mime;      // the browser's type for it; may be empty
  std::string filename;  // Chromium: empty at the start; Firefox: the path it writes
  std::string referrer;
  int64_t size = -1;     // -1 when not known (Firefox at the start)

  // The request a message carries: a JSON object with a string "url" and,
  // when present, strings "mime", "filename", "referrer" and an integer
  // "size" of -1 or more; other members are passed over. Nothing, with the
  // reason in *problem, when the message is not one.
  static std::optional<DownloadRequest> FromMessage(const std::string& text, std::string* problem);

  // The folder the browser downloads into, when its file name says so (an
  // absolute path); empty otherwise.
  std::string BrowserFolder() const;
};
