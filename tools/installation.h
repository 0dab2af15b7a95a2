#pragma once

// What an installer does for one user, with the program's files in one
// folder (kestrion, ksie.so, ksns.so): the program's registry values, the
// banner folder and Install.CFG, the MIME types the interceptor looks for,
// the browser's keys that the hook hangs from, both libraries registered and
// kestrion's COMMAND START, and, when kestrion-browser-host is in the
// folder, the browsers' manifests that let Kestrion's extension start it.
// Remove undoes all of it, leaving the browser's keys only when something
// else is in them.

#include <string>

class Installation {
 public:
  explicit Installation(std::string programDir);

  // False (after saying why on stderr) when a file is missing or a step
  // failed; the steps before it stay done. With https, AllowHTTPS is 1 and
  // the browser hook covers https too (when this build has TLS); without
  // it, AllowHTTPS is 0 and the https hook goes.
  bool Install(const std::string& adSite, bool https) const;
  // Removes what Install wrote; steps that find nothing to remove are fine.
  bool Remove() const;

  // EXELOCATION: the program's path, quoted when it holds a blank, so that
  // a launch reads it as one program name.
  static std::string ExeLocationOf(const std::string& programPath);
  // Each character's code raised by 2, as AdSite and Install.CFG hold it.
  static std::string Scramble(const std::string& text);

 private:
  std::string PathOf(const std::string& name) const { return m_programDir + "/" + name; }
  bool WriteProgramSettings(const std::string& adSite, bool https) const;
  bool WriteBannerFiles(const std::string& adSite) const;
  bool WriteBrowserManifests() const;
  bool RegisterLibrary(const std::string& name) const;
  bool RunRegistrationCommand(const char* word) const;

  std::string m_programDir;
};
