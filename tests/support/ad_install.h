#pragma once

#include <map>
#include <string>
#include <vector>

// What an installer leaves for the banner updater, in a scratch folder: a
// program folder with its ADFiles folder, and the program's registry key in
// a private registry. The registry is the one named by KESTRION_REGISTRY,
// which the constructor sets for this process; a kestrion started with
// RegistryEnv() shares it.
namespace testenv {

class AdInstall {
 public:
  // Writes EXELOCATION (root/prog/kestrion), LastUpdateTime, FT = 0 and the
  // empty ADFiles key.
  explicit AdInstall(const std::string& root);
  ~AdInstall();
  AdInstall(const AdInstall&) = delete;
  AdInstall& operator=(const AdInstall&) = delete;

  std::string ProgramDir() const { return m_root + "/prog"; }
  std::string ADFilesDir() const { return ProgramDir() + "/ADFiles"; }
  std::string RegistryDir() const { return m_root + "/registry"; }
  std::map<std::string, std::string> RegistryEnv() const { return {{"KESTRION_REGISTRY", RegistryDir()}}; }

  // Values of the program's key (created when missing).
  void SetString(const std::string& name, const std::string& text);
  void SetNumber(const std::string& name, unsigned value);
  void Remove(const std::string& name);
  // The stored value as text (a number in decimal); empty when absent.
  std::string Value(const std::string& name) const;
  void RemoveProgramKey();
  // The ad site as the updater reads it: scrambled into AdSite.
  void SetAdSite(const std::string& url);
  // Install.CFG beside the program, holding this text.
  void WriteInstallConfig(const std::string& text);

  // The ADFiles key: banner path to link.
  void Register(const std::string& path, const std::string& link);
  std::map<std::string, std::string> Registered() const;

 private:
  std::string m_root;
};

// Every character code raised by 2, as the program stores its ad site.
std::string ScrambleAdSite(const std::string& url);

// The message box texts of a script UI log, in order, without those of the
// banner updater, which runs beside a large download on its own.
std::vector<std::string> DownloadMessages(const std::string& logPath);

}  // namespace testenv
