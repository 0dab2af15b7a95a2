#pragma once

#include <cinttypes>

// Texts of the "File Download" window, as the window shows them.
namespace progress_texts {

constexpr const char* kTitle = "File Download";
constexpr const char* kTitleWithPercent = "File Download (%d%%)";
constexpr const char* kSaving = "%s from %s";
constexpr const char* kRate = "%.1f Kb/Sec";

constexpr const char* kUnknownTime = "Unknown    ";
constexpr const char* kHours = "%" PRId64 " Hours, ";
constexpr const char* kMinutes = "%" PRId64 " Min, ";
constexpr const char* kSeconds = "%" PRId64 " Seconds    ";
constexpr const char* kOpenedSoFar = "(Opened so far %s)";

constexpr const char* kBytes = "%" PRId64 " bytes";
constexpr const char* kKilobytes = "%.1f KB";
constexpr const char* kMegabytes = "%.2f MB";

// A connection column that has not reported yet.
constexpr const char* kNoConnectionBytes = ".";

}  // namespace progress_texts
