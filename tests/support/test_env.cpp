#include "tests/support/test_env.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/loopback.h"

namespace testenv {

ScratchDir::ScratchDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrion-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  m_path = buf.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListFiles(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  closedir(d);
  return names;
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, kServerAddress, &addr.sin_addr);
  addr.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data[i] = static_cast<char>(x >> 24);
  }
  return data;
}

namespace {

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string KestrionBinary() {
  const char* bin = getenv("KESTRION_BIN");
  if (!bin) throw std::runtime_error("KESTRION_BIN is not set");
  return bin;
}

// A private registry gets the program's keys before kestrion starts, unless
// the test asks for it bare.
const std::map<std::string, std::string>& WithProgramKeys(const std::map<std::string, std::string>& env) {
  const auto registry = env.find("KESTRION_REGISTRY");
  if (registry != env.end() && env.count(kBareRegistry) == 0) InstallProgramKeys(registry->second);
  return env;
}

}  // namespace

void InstallProgramKeys(const std::string& registryDir) {
  std::filesystem::create_directories(registryDir);
  const std::string path = registryDir + "/HKEY_LOCAL_MACHINE.reg";
  std::string text = ReadFile(path);
  if (text.empty()) text = "Windows Registry Editor Version 5.00\r\n";
  for (const char* key : {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]",
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion\\ADFiles]"})
    if (Lowered(text).find(Lowered(key)) == std::string::npos) text += std::string("\r\n") + key + "\r\n";
  WriteFile(path, text);
}

KestrionProcess::KestrionProcess(const std::vector<std::string>& args, const std::string& workDir,
                                 const std::map<std::string, std::string>& env)
    : KestrionProcess(KestrionBinary(), args, workDir, WithProgramKeys(env)) {}

KestrionProcess::KestrionProcess(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& workDir, const std::map<std::string, std::string>& env)
    : m_outputPath(workDir + "/.kestrion-output") {
  const char* bin = program.c_str();
  m_pid = fork();
  if (m_pid == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(127);
    int fd = open(m_outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(bin));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(bin, argv.data());
    _exit(127);
  }
}

KestrionProcess::~KestrionProcess() {
  if (m_pid > 0) Wait(std::chrono::seconds(0));
}

void KestrionProcess::Signal(int signalNumber) {
  if (m_pid > 0) kill(m_pid, signalNumber);
}

RunResult KestrionProcess::Wait(std::chrono::seconds timeout) {
  RunResult result;
  if (m_pid <= 0) return result;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
      result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      result.exitCode = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_pid = -1;
  result.output = ReadFile(m_outputPath);
  unlink(m_outputPath.c_str());
  return result;
}

RunResult RunKestrion(const std::vector<std::string>& args, const std::string& workDir,
                      const std::map<std::string, std::string>& env, std::chrono::seconds timeout) {
  return KestrionProcess(args, workDir, env).Wait(timeout);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                     const std::map<std::string, std::string>& env, std::chrono::seconds timeout) {
  return KestrionProcess(program, args, workDir, env).Wait(timeout);
}

SilentServer::SilentServer() {
  m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, kServerAddress, &addr.sin_addr);
  bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(m_listenFd, 16);
  socklen_t len = sizeof addr;
  getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
}

SilentServer::~SilentServer() {
  for (int fd : m_accepted) close(fd);
  close(m_listenFd);
}

int SilentServer::Accepted() {
  const int flags = fcntl(m_listenFd, F_GETFL);
  fcntl(m_listenFd, F_SETFL, flags | O_NONBLOCK);
  for (int fd; (fd = accept(m_listenFd, nullptr, nullptr)) >= 0;) m_accepted.push_back(fd);
  fcntl(m_listenFd, F_SETFL, flags);
  return static_cast<int>(m_accepted.size());
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> LogLinesOfKind(const std::string& logPath, const std::string& kind) {
  std::vector<std::string> out;
  for (const auto& line : ReadLines(logPath))
    if (JsonString(line, "kind") == kind) out.push_back(line);
  return out;
}

std::string JsonString(const std::string& line, const std::string& key) {
  std::string needle = "\"" + key + "\":";
  size_t pos = line.find(needle);
  if (pos == std::string::npos) return "";
  pos += needle.size();
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (pos >= line.size() || line[pos] != '"') return "";
  std::string value;
  for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
    char c = line[pos];
    if (c != '\\') {
      value += c;
      continue;
    }
    if (++pos >= line.size()) break;
    switch (line[pos]) {
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      case 'u': {
        unsigned code = std::stoul(line.substr(pos + 1, 4), nullptr, 16);
        value += static_cast<char>(code);
        pos += 4;
        break;
      }
      default: value += line[pos];
    }
  }
  return value;
}

std::vector<std::string> LastConnectionColumns(const std::string& logPath) {
  const std::vector<std::string> windows = LogLinesOfKind(logPath, "window");
  std::vector<std::string> columns;
  if (windows.empty()) return columns;
  const std::string& line = windows.back();
  size_t at = line.find("\"connections\":[");
  if (at == std::string::npos) return columns;
  at += 15;
  while (at < line.size() && line[at] == '"') {
    const size_t end = line.find('"', at + 1);
    columns.push_back(line.substr(at + 1, end - at - 1));
    at = end + 2;
  }
  return columns;
}

}  // namespace testenv
