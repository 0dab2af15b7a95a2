#include "app/kestrion_app.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/app_messages.h"
#include "app/handler_registration.h"
#include "app/https_switch.h"
#include "app/unescape_url.h"
#include "ftp/ftp_file_download_manager.h"
#include "http/http_file_download_manager.h"
#include "platform/loop/event.h"
#include "platform/base/failure.h"
#include "platform/files/scratch_files.h"
#include "platform/loop/interrupt.h"
#include "platform/ui/ui.h"
#include "ui/progress_texts.h"

namespace {

// How long a download told to end may take to end in order.
constexpr auto kOrderlyEndLimit = std::chrono::seconds(3);

// A command line that asks about the program itself; false for any other.
bool AnswerAboutProgram(const std::string& parameterText) {
  if (parameterText == "--help" || parameterText == "-h") {
    std::fputs(app_messages::kUsage, stdout);
    return true;
  }
  if (parameterText == "--version" || parameterText == "-V") {
    std::printf("%s %s\n", app_messages::kProgramName, progress_texts::kVersion);
    return true;
  }
  return false;
}

std::string TrimWhiteSpace(const std::string& text) {
  auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

}  // namespace

CKestrionApp& TheApp() {
  static CKestrionApp app;
  return app;
}

CKestrionApp::CKestrionApp() = default;

// The done event outlives every manager: a manager that is still ending when
// the process exits may yet set it.
CKestrionApp::~CKestrionApp() = default;

int CKestrionApp::Run(const std::string& parameterText) {
  if (AnswerAboutProgram(parameterText)) return kExitSuccess;
  SetInterruptHandler([this](int signal) { OnInterrupt(signal); });
  // The window system starts on the main thread, before any download thread
  // asks it for a window.
  CurrentUIBackend();
  if (parameterText.empty()) {
    AfxMessageBox(app_messages::kStandAlone, MB_OK);
    return kExitRefused;
  }
  m_hDoneEvent = new Event(true, false);
  try {
    SplitCommandLine(parameterText);
    if (m_strParam1 == "COMMAND") return RunCommand(m_strParam2) ? kExitSuccess : kExitRefused;
    m_bDownloadStarted = true;
    if (!StartFromURL(m_strParam1, m_strParam2)) return kExitFailure;
  } catch (const Failure& failure) {
    m_bDownloadStarted = false;
    AfxMessageBox(failure.Text(), MB_OK);
    return kExitRefused;
  }
  WaitShowingWindows(*m_hDoneEvent);
  m_pManager = nullptr;
  m_adUpdater.End();
  EndUI();
  if (m_bKept && !m_bSucceeded) std::fprintf(stderr, "%s\n", app_messages::kRunAgainToGoOn);
  return DownloadExitStatus();
}

bool CKestrionApp::KeepsDownloadOnEnd() const {
  const int signal = m_nInterrupt;
  return signal != 0 && signal != SIGINT;
}

int CKestrionApp::DownloadExitStatus() const {
  if (m_bSucceeded) return kExitSuccess;
  if (m_nInterrupt != 0) return kExitBySignal + m_nInterrupt;
  return m_bCancelled ? kExitCancelled : kExitFailure;
}

bool CKestrionApp::SplitCommandLine(const std::string& text) {
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) throw Failure(app_messages::kTwoParameters);
  m_strParam1 = text.substr(0, blank);
  m_strParam2 = text.substr(blank + 1);
  if (m_strParam1.empty() || m_strParam2.empty()) throw Failure(app_messages::kEmptyParameter);
  return true;
}

bool CKestrionApp::RunCommand(const std::string& command) {
  if (command == "START") {
    CHandlerRegistration::RegisterHandlers();
    return true;
  }
  if (command == "STOP") {
    CHandlerRegistration::UnregisterHandlers();
    return true;
  }
  AfxMessageBox(app_messages::kUnknownCommand, MB_OK);
  return false;
}

bool CKestrionApp::StartFromURL(std::string url, std::string destination) {
  url = TrimWhiteSpace(url);
  const size_t colon = url.find(':');
  if (colon == std::string::npos) throw Failure(app_messages::kNoScheme);
  const std::string scheme = UpperCase(url.substr(0, colon));
  CFileDownloadManager* manager = nullptr;
  if (scheme == "FTP") {
    manager = new CFTPFileDownloadManager;
  } else if (scheme == "HTTP" || (scheme == "HTTPS" && IsHttpsAllowed())) {
    manager = new CHTTPFileDownloadManager;
  } else {
    m_pManager = nullptr;
    throw Failure(app_messages::kUnsupportedScheme);
  }
  url = UnescapeURL(url);
  destination = UnescapeURL(destination);
  manager->m_strURL = url;
  // A URL without a host or with a port that is no port would only fail
  // later, at the connect, with a number instead of the reason.
  if (!manager->ParseURL()) {
    delete manager;
    m_pManager = nullptr;
    throw Failure(Format(app_messages::kUnreadableURL, url.c_str()));
  }
  m_pManager = manager;
  manager->m_strDestination = destination;
  if (!manager->StartDownload(m_hDoneEvent)) {
    // Without its thread the manager cannot end itself.
    m_pManager = nullptr;
    delete manager;
    return false;
  }
  return true;
}

void CKestrionApp::SetManagerThread(ThreadId thread) {
  m_managerThread = thread;
  if (m_bCancelled) ::PostThreadMessage(thread, WM_QUIT);
}

void CKestrionApp::OnInterrupt(int signal) {
  int none = 0;
  if (!m_nInterrupt.compare_exchange_strong(none, signal) || !m_bDownloadStarted) EndNow();
  PostQuitToManager();
  std::thread([this] {
    std::this_thread::sleep_for(kOrderlyEndLimit);
    EndNow();
  }).detach();
}

void CKestrionApp::PostQuitToManager() {
  m_bCancelled = true;
  const ThreadId thread = m_managerThread;
  if (thread != 0) ::PostThreadMessage(thread, WM_QUIT);
}

void CKestrionApp::EndNow() {
  ScratchFiles::RemoveAll();
  EndUI();
  std::_Exit(m_nInterrupt != 0 ? kExitBySignal + m_nInterrupt : kExitCancelled);
}
