#pragma once

#include <memory>
#include <string>

#include "platform/ui/ui.h"

// The qt backend lives in a plug-in library, kestrion-qt.so, loaded only
// when that backend is chosen, so that console and script runs never map
// Qt. It is looked for in KESTRION_QT_PLUGIN, else beside the program.

// The name of the plug-in's one entry point: it makes the backend on the Qt
// platform named (the default when empty), or returns null with the reason
// in *failure. Called once, on the main thread.
constexpr const char* kQtPluginEntry = "KestrionCreateQtBackend";
using QtPluginEntry = UIBackend* (*)(const std::string& qtPlatform, std::string* failure);

// Whether this build made the plug-in.
bool QtPluginBuilt();
// The backend, or null with the reason in *failure. Qt is loaded only once
// a display has answered.
std::unique_ptr<UIBackend> LoadQtBackend(std::string* failure);
