#pragma once

// Starting programs and opening URLs with the desktop's handler. Every
// call may come from any thread; none waits for the started program.

#include <cstdint>
#include <string>

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNORMAL = 1;

// Starts a program detached. The program name ends at the closing quote when
// the line begins with a quote, else at the first blank; the rest of the
// line after the blanks is its single argument. PATH is searched when the
// name has no slash. Returns a value above 31 when started, else an error
// number (2: file not found, 5: not executable, 11: bad format, 0: out of
// resources). The program is a grandchild in a session of its own, so it
// outlives the caller and leaves no zombie; returns once it has been
// executed. Any thread.
unsigned WinExec(const std::string& commandLine, int show);

// Opens a URL with the desktop's handler (xdg-open). Returns a value above 32
// on success, else the platform's error number (2: no xdg-open, or it found
// nothing to open; 31: it failed otherwise). Waits for xdg-open's exit status
// at most five seconds; a handler still running then counts as a success.
intptr_t ShellExecuteOpen(const std::string& url, int show);

// Full path of the running program.
std::string GetModuleFileName();
