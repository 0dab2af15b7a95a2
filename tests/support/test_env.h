#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// Helpers shared by the tests: scratch folders, files, free ports, and the
// real kestrion binary run as a child process.
namespace testenv {

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
// Names in the folder that start with the prefix (e.g. leftover "FFF" pieces).
std::vector<std::string> ListFiles(const std::string& dir, const std::string& prefix = "");

// A port of the servers' address (kServerAddress) that nobody listens on at
// the moment of the call.
int FreeLoopbackPort();

// A file of this size with bytes that differ from offset to offset.
std::string PatternBytes(size_t size, unsigned seed = 1);

struct RunResult {
  int exitCode = -1;  // -1: killed after the time-out
  std::string output;  // stdout and stderr together
};

// Runs the kestrion binary (KESTRION_BIN) with the arguments, in the working
// folder, with the extra environment. Ends it after the time-out.
RunResult RunKestrion(const std::vector<std::string>& args, const std::string& workDir,
                      const std::map<std::string, std::string>& env,
                      std::chrono::seconds timeout = std::chrono::seconds(60));

// Runs any program that way (its registry as the test left it).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                     const std::map<std::string, std::string>& env,
                     std::chrono::seconds timeout = std::chrono::seconds(60));

// Gives a private registry folder the program's key and its ADFiles
// sub-key, as an installer leaves them (the progress window says so in a
// message box when either is missing). Keeps what the folder holds.
void InstallProgramKeys(const std::string& registryDir);

// In the environment given to kestrion (any value): leave its registry as
// it is, without the keys above.
constexpr const char* kBareRegistry = "KESTRION_TEST_BARE_REGISTRY";

// A kestrion (or another program) started in the background, for tests that
// act while it runs. Started as kestrion, a private registry
// (KESTRION_REGISTRY) gets the program's keys first.
class KestrionProcess {
 public:
  KestrionProcess(const std::vector<std::string>& args, const std::string& workDir,
                  const std::map<std::string, std::string>& env);
  KestrionProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                  const std::map<std::string, std::string>& env);
  ~KestrionProcess();  // kills it if still running
  void Signal(int signalNumber);
  int Pid() const { return m_pid; }
  // Waits for the end; kills it after the time-out (exit code -1).
  RunResult Wait(std::chrono::seconds timeout);

 private:
  int m_pid = -1;
  std::string m_outputPath;
};

// A server on the servers' address that accepts connections and never says
// a word.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  int Port() const { return m_port; }
  // Takes the connections waiting so far and returns how many it holds.
  int Accepted();

 private:
  int m_listenFd = -1;
  int m_port = 0;
  std::vector<int> m_accepted;
};

// The UI log of the script backend, one JSON object per line.
std::vector<std::string> ReadLines(const std::string& path);
// Lines of the log whose "kind" is the given one.
std::vector<std::string> LogLinesOfKind(const std::string& logPath, const std::string& kind);
// The string value of a key in one JSON line (simple escapes only).
std::string JsonString(const std::string& jsonLine, const std::string& key);
// The connection columns ("." when unused) of the progress window's last
// state in the log; empty when no window was logged.
std::vector<std::string> LastConnectionColumns(const std::string& logPath);

}  // namespace testenv
