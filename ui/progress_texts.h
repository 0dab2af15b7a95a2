#pragma once

#include <cinttypes>

// Texts of the "File Download" window and its links, as the window shows them.
namespace progress_texts {

constexpr const char* kTitle = "File Download";
constexpr const char* kTitleWithPercent = "File Download (%d%%)";
constexpr const char* kSaving = "%s from %s";
constexpr const char* kRate = "%.1f Kb/Sec";
constexpr const char* kVersion = "Build 258 Beta";
constexpr const char* kDetailsCollapsed = "Details >>";
constexpr const char* kDetailsExpanded = "Details <<";

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

// The maker's addresses behind the three links.
constexpr const char* kHomePageText = "www.morvane.example";
constexpr const char* kHomePageURL = "http://www.morvane.example/";
constexpr const char* kFeedbackURL = "mailto:feedback@morvane.example";
constexpr const char* kUpdatesURL = "http://www.morvane.example/downloads/";

constexpr const char* kNoMainKey = "Could not open main registry key";
constexpr const char* kNoAdFilesKey = "Could not open ADFiled registry key";

constexpr const char* kOpenErrorIntro = "Unable to open hyperlink:\n\n";
constexpr const char* kUnknownOpenError = "Unknown Error (%d) occurred.";

// What went wrong when a link could not be opened, by the platform's error
// number; null for numbers without a text of their own.
inline const char* OpenErrorText(int code) {
  switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    case 5: return "The operating system denied\naccess to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return "A sharing violation occurred. ";
    case 27: return "The filename association is\nincomplete or invalid.";
    case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
    case 31: return "There is no application associated\nwith the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: return nullptr;
  }
}

}  // namespace progress_texts
