#pragma once

#include <map>
#include <string>
#include <vector>

namespace testenv {

// What an installer leaves for the banner updater, in a scratch folder: the
// program folder ROOT/prog with its ADFiles folder, and the program's key in
// the private registry ROOT/registry. KESTRION_REGISTRY names that registry
// for this process (and the programs it starts) while the object lives.
class AdInstall {
 public:
  // EXELOCATION (ROOT/prog/kestrion), LastUpdateTime, FT = 0, the ADFiles key.
  explicit AdInstall(const std::string& root);
  ~AdInstall();
  AdInstall(const AdInstall&) = delete;
  AdInstall& operator=(const AdInstall&) = delete;

  std::string ProgramDir() const { return m_root + "/prog"; }
  std::string ADFilesDir() const { return ProgramDir() + "/ADFiles"; }
  std::string RegistryDir() const { return m_root + "/registry"; }

  // Values of the program's key.
  void SetString(const std::string& name, const std::string& text);
  void SetNumber(const std::string& name, unsigned value);
  void Remove(const std::string& name);
  // A string, or a number in decimal; empty when absent.
  std::string Value(const std::string& name) const;
  void RemoveProgramKey();
  void SetAdSite(const std::string& url);  // scrambled, as stored
  void WriteInstallConfig(const std::string& text);

  // The ADFiles key: banner path to link.
  void Register(const std::string& path, const std::string& link);
  std::map<std::string, std::string> Registered() const;

 private:
  std::string m_root;
  std::string m_savedRegistry;
};

// Every character code raised by 2, as the program stores its ad site.
std::string ScrambleAdSite(const std::string& url);

// The message box texts of a script UI log, in order, without those of the
// banner updater, which runs beside a large download on its own.
std::vector<std::string> DownloadMessages(const std::string& logPath);

}  // namespace testenv
