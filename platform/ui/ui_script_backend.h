#pragma once

#include <optional>
#include <string>

#include "platform/ui/ui.h"

// The backend for tests and automation: nothing is shown. Every event is
// appended to the log file as one JSON object per line, and questions take
// their answers, in order, from the answers file. Windows take clicks, one
// line each ("command ID" presses a button or a link, "event ID" is a
// control's Click event), from the clicks file. The files may be shared by
// several processes: a log line is one O_APPEND write, and an answer or a
// click is taken under an exclusive lock on its file, so each is used once.
//
// Questions are answered before Ask* returns, on the asking thread. Any
// thread may ask; a view is used by the thread that created it.
class UIScriptBackend : public UIBackend {
 public:
  // Empty paths: nothing is logged, no answers are given (default buttons),
  // nothing is clicked.
  UIScriptBackend(std::string logPath, std::string answersPath, std::string clicksPath = "");
  // From KESTRION_UI_LOG, KESTRION_UI_ANSWERS and KESTRION_UI_CLICKS.
  static std::unique_ptr<UIScriptBackend> FromEnvironment();

  void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) override;
  void AskSaveFile(const std::string& initialPath,
                   std::function<void(std::optional<std::string>)> answered) override;
  void AskDownloadChoice(const std::string& text, std::function<void(int)> answered) override;
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler onInput) override;
  void Beep() override;

  // The next answer, removed from the file; empty when none is left. A blank
  // line is an answer too: the default button.
  std::optional<std::string> TakeAnswer() const;
  std::optional<std::string> TakeClick() const;
  // Appends one line (a newline is added) to the log.
  void AppendLogLine(const std::string& json) const;

  // How an answer fits each question. An answer that fits no button of the
  // box presses its default button; "cancel" on a Yes/No box is a No.
  static int MessageAnswer(unsigned type, const std::optional<std::string>& answer);
  // "regular" is Regular Download, "cancel" and "no" cancel, anything else
  // (or none) is OK.
  static int ChoiceAnswer(const std::optional<std::string>& answer);
  // "ok" and "yes" (or none) keep the proposed path; "cancel", "no" and
  // "regular" cancel; anything else is the chosen path.
  static std::optional<std::string> SaveFileAnswer(const std::string& initialPath,
                                                   const std::optional<std::string>& answer);

  // A JSON string literal, quotes included. Valid UTF-8 passes through; a byte
  // that is not part of a valid sequence is written as \u00XX (its Latin-1
  // reading), so the line stays valid JSON and the byte can be recovered.
  static std::string JsonQuote(const std::string& text);

 private:
  // Takes the first line out of the file, under the lock.
  static std::optional<std::string> TakeFirstLine(const std::string& path);

  std::string m_logPath;
  std::string m_answersPath;
  std::string m_clicksPath;
};
