#pragma once

#include <string>

// Removes, in the folder, the pieces ("FFFxxxx.TMP", as GetTempFileName
// names them with that prefix) that no live run holds: a run holds a lock
// on each of its pieces for the piece's whole life (ScratchFiles), so a
// piece nobody locks was left by a run that was killed. A piece that is
// still empty and less than two seconds old is left alone: it may have been
// made a moment ago and not yet be locked. Nothing else in the folder is
// touched: other names, folders, links, other owners' files.
void RemoveOrphanPieces(const std::string& folder, const std::string& prefix);
