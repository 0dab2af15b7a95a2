#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Whole small files (a download's journal): read at once, and replaced so
// that a reader, or the next run after a crash, sees the old contents or
// the new ones, never a mix. Thread-safe.

// The file's bytes; nothing when it is missing, unreadable or longer than
// maxBytes.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t maxBytes);
// Writes "path~", syncs it, renames it over path and syncs the folder.
// Throws CFileException naming path.
void ReplaceSmallFile(const std::string& path, const std::string& contents);
// Removes the file where it exists; never throws.
void RemoveFileIfPresent(const std::string& path);
// The file's length, -1 when there is no regular file by that name.
int64_t RegularFileLength(const std::string& path);
