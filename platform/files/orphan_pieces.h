#pragma once

#include <functional>
#include <string>

// A run holds a lock on each of its scratch files (pieces, a join's new
// file) for the file's whole life (ScratchFiles), so such a file that nobody
// locks was left by a run that was killed, or kept by one that ended. These
// remove them, in one folder; a file that is still empty and less than two
// seconds old is left alone (it may have been made a moment ago and not yet
// be locked), and so is everything else: other names, folders, links,
// other users' files.

// The name is stem, four upper-case hex digits and suffix, as the program
// numbers its scratch files.
bool IsNumbered(const std::string& name, const std::string& stem, const std::string& suffix);
// The files whose names `matches` accepts.
void RemoveUnheldFiles(const std::string& folder, const std::function<bool(const std::string&)>& matches);
// The pieces: PREFIX (its first three characters), four upper-case hex
// digits, ".TMP", as GetTempFileName names them.
void RemoveOrphanPieces(const std::string& folder, const std::string& prefix);
