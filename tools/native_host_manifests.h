#pragma once

// The browsers' native-messaging manifests that let Kestrion's extension
// start kestrion-browser-host: one for Chromium, one for Google Chrome and
// one for Firefox, in the user's folders where each browser looks, each
// allowing only Kestrion's extension.

#include <string>
#include <utility>
#include <vector>

class NativeHostManifests {
 public:
  // home: the user's home folder; configHome: $XDG_CONFIG_HOME, where
  // Chromium and Chrome keep their folders (home/.config when empty).
  NativeHostManifests(std::string home, const std::string& configHome);
  // For the user this process runs as.
  static NativeHostManifests ForThisUser();

  // Writes the manifests for the host at that path, making their folders as
  // needed. False (after saying why on stderr) when one cannot be written.
  bool Write(const std::string& hostPath) const;
  // Removes the manifests written for the host at that path, and each
  // folder of manifests that this leaves empty. Manifests that name another
  // host stay.
  void Remove(const std::string& hostPath) const;

  // Each manifest's path and text, Chromium's, Chrome's, then Firefox's.
  std::vector<std::pair<std::string, std::string>> Files(const std::string& hostPath) const;

 private:
  std::string m_home;
  std::string m_configHome;
};
