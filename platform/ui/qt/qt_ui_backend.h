#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ui/ui.h"

class QDialog;
class QEventLoop;

// The qt backend: real windows. Every widget lives on the main thread,
// which runs Qt's loop (RunMainLoop). A question asked on the main thread
// is shown modally there; one asked on another thread is shown without
// blocking the main thread, and its answer comes back through the
// callback, while the asking thread pumps its own loop. Questions open at
// the same time never sit exactly on top of each other.
class QtUIBackend : public UIBackend {
 public:
  // Starts Qt, on the platform named (its default when empty), on the
  // calling thread, which must be the process's main one; an application
  // already started is used as it is. Null, with the reason, on failure.
  static QtUIBackend* Create(const std::string& qtPlatform, std::string* failure);
  ~QtUIBackend() override;

  void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) override;
  void AskSaveFile(const std::string& initialPath,
                   std::function<void(std::optional<std::string>)> answered) override;
  void AskDownloadChoice(const std::string& text, std::function<void(int)> answered) override;
  void WithdrawQuestions() override;
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler onInput) override;
  void Beep() override;
  UISize TextExtent(const std::string& text) override;
  COLORREF HighlightColor() override { return m_highlight; }
  bool HasMainLoop() const override { return true; }
  void RunMainLoop() override;
  void QuitMainLoop() override;

 private:
  struct Question {
    std::thread::id asker;
    bool withdrawn = false;
    QDialog* dialog = nullptr;  // once shown
  };
  using MakeDialog = std::function<QDialog*()>;
  // Told the dialog and how it ended (its result code).
  using Deliver = std::function<void(QDialog&, int)>;

  // What work posted to the main thread uses: it may run after the backend
  // is gone (tests replace backends).
  struct Shared {
    std::mutex lock;
    std::list<std::shared_ptr<Question>> questions;  // open ones, under the lock
    std::atomic<bool> quitRequested{false};
    QEventLoop* runningLoop = nullptr;  // main thread only
  };

  QtUIBackend();
  void Ask(MakeDialog make, Deliver deliver);
  static void ShowQuestion(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Question>& question,
                           const MakeDialog& make, const Deliver& deliver);

  std::shared_ptr<Shared> m_shared;
  COLORREF m_highlight;
};
