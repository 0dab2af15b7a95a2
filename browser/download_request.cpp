#include "browser/download_request.h"

#include <algorithm>
#include <cmath>

#include "browser/host_messages.h"
#include "browser/json_object.h"
#include "platform/base/failure.h"

namespace {

// The largest integer a JSON number carries exactly.
constexpr double kLargestSize = 9007199254740992.0;

bool HasControlCharacter(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// The member when present as a string; false after saying why otherwise.
bool ReadString(const JsonObject& object, const char* name, std::string* out, std::string* problem) {
  const JsonValue* value = object.Find(name);
  if (!value) return true;
  if (value->kind != JsonValue::kString) {
    *problem = Format(host_messages::kWrongType, name, "string");
    return false;
  }
  *out = value->string;
  return true;
}

bool ReadSize(const JsonObject& object, int64_t* size, std::string* problem) {
  const JsonValue* value = object.Find("size");
  if (!value) return true;
  const double number = value->number;
  if (value->kind != JsonValue::kNumber || number < -1 || number > kLargestSize || std::trunc(number) != number) {
    *problem = Format(host_messages::kWrongType, "size", "whole number of -1 or more");
    return false;
  }
  *size = static_cast<int64_t>(number);
  return true;
}

}  // namespace

std::optional<DownloadRequest> DownloadRequest::FromMessage(const std::string& text, std::string* problem) {
  const std::optional<JsonObject> object = JsonObject::Parse(text);
  if (!object) {
    *problem = host_messages::kNotAnObject;
    return std::nullopt;
  }
  if (!object->Find("url")) {
    *problem = host_messages::kNoUrl;
    return std::nullopt;
  }
  DownloadRequest request;
  if (!ReadString(*object, "url", &request.url, problem) || !ReadString(*object, "mime", &request.mime, problem) ||
      !ReadString(*object, "filename", &request.filename, problem) ||
      !ReadString(*object, "referrer", &request.referrer, problem) || !ReadSize(*object, &request.size, problem))
    return std::nullopt;
  // The URL becomes part of kestrion's command line.
  if (request.url.empty() || HasControlCharacter(request.url)) {
    *problem = host_messages::kBadUrl;
    return std::nullopt;
  }
  return request;
}

std::string DownloadRequest::BrowserFolder() const {
  const size_t slash = filename.rfind('/');
  return filename.empty() || filename[0] != '/' ? std::string() : filename.substr(0, std::max<size_t>(slash, 1));
}
