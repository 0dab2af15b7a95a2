#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ui.h"

class ConsoleTerminal;

// The backend for a terminal. A success message goes to the output; every
// other message, and every question, to the error stream. Questions are
// asked on the input when it is a terminal; with nobody to ask there, a
// question is answered as nobody consented (No, Cancel) and a notice is
// taken as read. Saving over an existing file is asked about first, with
// No as the default. A visible progress window is one live line on the
// error stream, fitted to the terminal's width and redrawn in place, drawn
// only when both output streams are terminals (elsewhere only the outcome
// is printed); it stays on the screen, ended by a newline, when the window
// closes or the program ends. When the window offers its details, the key
// d toggles a second line with the bytes of each connection.
//
// Questions are answered before Ask* returns, on the asking thread, whose
// loop keeps running while a line is awaited: a quit (Ctrl-C's Cancel) ends
// the question as the end of input would. One question at a time. Any
// thread may ask; a view is used by the thread that created it and may
// outlive the backend.
class UIConsoleBackend : public UIBackend {
 public:
  // The descriptors stay open and owned by the caller.
  explicit UIConsoleBackend(int inFd = 0, int outFd = 1, int errFd = 2);
  ~UIConsoleBackend() override;

  void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) override;
  void AskSaveFile(const std::string& initialPath,
                   std::function<void(std::optional<std::string>)> answered) override;
  void AskDownloadChoice(const std::string& text, std::function<void(int)> answered) override;
  bool CanAsk() const override;
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler onInput) override;
  void Beep() override;
  void End() override;

 private:
  std::shared_ptr<ConsoleTerminal> m_terminal;
};
