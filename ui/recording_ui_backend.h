#pragma once

// A UI backend for the window tests: every state a view is given, every
// message box and beep is recorded; text measures six pixels a character.
// Used on one thread, except the view's input handler.

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "tests/support/test_env.h"

struct RecordedUI {
  std::vector<WindowState> states;
  std::vector<std::string> messages;
  int beeps = 0;
  int withdrawals = 0;
  bool closed = false;
  ViewInputHandler onInput;
  // A save dialog that is never answered: the asker waits until it quits.
  bool holdSaveDialog = false;
};

class RecordingUIBackend : public UIBackend {
 public:
  explicit RecordingUIBackend(RecordedUI& record) : m_record(record) {}

  void AskMessage(const std::string& text, unsigned, std::function<void(int)> answered) override {
    m_record.messages.push_back(text);
    answered(IDOK);
  }
  void AskSaveFile(const std::string& path, std::function<void(std::optional<std::string>)> answered) override {
    if (!m_record.holdSaveDialog) answered(path);
  }
  void WithdrawQuestions() override { ++m_record.withdrawals; }
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler onInput) override {
    m_record.onInput = std::move(onInput);
    return std::make_unique<View>(m_record);
  }
  void Beep() override { ++m_record.beeps; }

 private:
  class View : public IWindowView {
   public:
    explicit View(RecordedUI& record) : m_record(record) {}
    void Update(const WindowState& state) override { m_record.states.push_back(state); }
    void Close() override { m_record.closed = true; }

   private:
    RecordedUI& m_record;
  };

  RecordedUI& m_record;
};

// Installs the recording backend and a private registry for one test.
class RecordingUIFixture {
 public:
  RecordingUIFixture() {
    m_previous = SetUIBackend(std::make_unique<RecordingUIBackend>(ui));
    setenv("KESTRION_REGISTRY", m_registry.Path().c_str(), 1);
  }
  ~RecordingUIFixture() {
    unsetenv("KESTRION_REGISTRY");
    SetUIBackend(std::move(m_previous));
  }

  // Values under HKEY_LOCAL_MACHINE\SOFTWARE\Morvane\Kestrion[\sub];
  // CreateProgramKey makes the key alone.
  static void SetProgramString(const std::string& sub, const std::string& name, const std::string& text) {
    WithProgramKey(sub, [&](HKEY key) { RegSetString(key, name, text); });
  }
  static void SetProgramDword(const std::string& name, DWORD value) {
    WithProgramKey("", [&](HKEY key) { RegSetDword(key, name, value); });
  }
  static void CreateProgramKey(const std::string& sub) { WithProgramKey(sub, [](HKEY) {}); }
  static void WithProgramKey(const std::string& sub, const std::function<void(HKEY)>& use) {
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion" + (sub.empty() ? "" : "\\" + sub), &key);
    use(key);
    RegCloseKey(key);
  }

  RecordedUI ui;

 private:
  testenv::ScratchDir m_registry;
  std::unique_ptr<UIBackend> m_previous;
};
