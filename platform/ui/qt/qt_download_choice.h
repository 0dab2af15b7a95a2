#pragma once

#include <string>

class QDialog;

// The "File Download" choice offered before a browser's download is taken
// over, laid out from its template: the program's picture, the file named
// by `text`, "Run this program from its current location" (disabled) and
// "Save this program to disk" (chosen), OK (the default button), Cancel
// and "Regular Download". Its result code is the button that ended it.
QDialog* MakeDownloadChoice(const std::string& text);
// The service's answer for a result code: IDOK, IDREGULARDOWNLOAD, or
// IDCANCEL for Cancel, Escape, the close box or anything else.
int DownloadChoiceAnswer(int result);
