#pragma once

// The two text files the banner updater reads: the advertisement list, which
// comes off the network, and Install.CFG beside the program. A line ends at
// LF; a CR before it belongs to the line end. Both read in one pass.

#include <istream>
#include <list>
#include <string>

#include "ads/ad_file_entry.h"

// Replaces *entries with the list's: every line with a comma is one entry,
// its URL before the first comma and its link after it, the last line
// first. False when not one line could be read; a line without a comma
// counts as read.
bool ReadAdList(std::istream& in, std::list<CADFileEntry>* entries);

// The first line of Install.CFG: the ad site as stored, scrambled. Empty
// when the file is.
std::string ReadInstallConfig(std::istream& in);
