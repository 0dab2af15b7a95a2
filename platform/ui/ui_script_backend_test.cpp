#include "platform/ui/ui_script_backend.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "tests/support/test_env.h"

namespace {

using testenv::ReadFile;
using testenv::ReadLines;
using testenv::WriteFile;

class ScriptBackendTest : public ::testing::Test {
 protected:
  std::string Log() const { return m_dir.File("ui.log"); }
  std::string Answers() const { return m_dir.File("answers"); }
  UIScriptBackend Backend() const { return UIScriptBackend(Log(), Answers()); }

  int Ask(const std::string& text, unsigned type) {
    int button = -1;
    Backend().AskMessage(text, type, [&](int b) { button = b; });
    return button;
  }
  std::optional<std::string> AskSave(const std::string& initial) {
    std::optional<std::string> chosen = "not answered";
    Backend().AskSaveFile(initial, [&](std::optional<std::string> p) { chosen = std::move(p); });
    return chosen;
  }

  testenv::ScratchDir m_dir;
};

TEST_F(ScriptBackendTest, MessageLinesForEveryButtonAndIcon) {
  EXPECT_EQ(Ask("a", MB_OK), IDOK);
  EXPECT_EQ(Ask("b", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_EQ(Ask("c", MB_OK | MB_ICONEXCLAMATION), IDOK);
  EXPECT_EQ(Ask("d", MB_YESNO), IDYES);
  EXPECT_EQ(Ask("e", MB_YESNO | MB_ICONINFORMATION), IDYES);
  EXPECT_EQ(Ask("f", MB_YESNO | MB_ICONEXCLAMATION), IDYES);
  std::vector<std::string> expected = {
      R"({"kind":"message","text":"a","buttons":"ok","icon":"none","answer":"ok"})",
      R"({"kind":"message","text":"b","buttons":"ok","icon":"information","answer":"ok"})",
      R"({"kind":"message","text":"c","buttons":"ok","icon":"exclamation","answer":"ok"})",
      R"({"kind":"message","text":"d","buttons":"yesno","icon":"none","answer":"yes"})",
      R"({"kind":"message","text":"e","buttons":"yesno","icon":"information","answer":"yes"})",
      R"({"kind":"message","text":"f","buttons":"yesno","icon":"exclamation","answer":"yes"})",
  };
  EXPECT_EQ(ReadLines(Log()), expected);
}

TEST_F(ScriptBackendTest, AnswersAreTakenInOrderAndMisfitsPressTheDefault) {
  WriteFile(Answers(), "no\nyes\ncancel\r\n\n/tmp/x y.zip\ncancel\nno");
  EXPECT_EQ(Ask("q1", MB_YESNO), IDNO);
  EXPECT_EQ(Ask("q2", MB_OK), IDOK);        // "yes" on an OK box
  EXPECT_EQ(Ask("q3", MB_YESNO), IDNO);     // "cancel" on Yes/No
  EXPECT_EQ(Ask("q4", MB_YESNO), IDYES);    // a blank line
  EXPECT_EQ(AskSave("/d/a.zip"), "/tmp/x y.zip");
  EXPECT_EQ(AskSave("/d/a.zip"), std::nullopt);
  EXPECT_EQ(Ask("q5", MB_YESNO), IDNO);     // last line without a newline
  EXPECT_EQ(ReadFile(Answers()), "");
  EXPECT_EQ(Ask("q6", MB_YESNO), IDYES);    // none left
  EXPECT_EQ(AskSave("/d/b.zip"), "/d/b.zip");
  std::vector<std::string> lines = ReadLines(Log());
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[4], R"({"kind":"save-file","initial":"/d/a.zip","answer":"/tmp/x y.zip"})");
  EXPECT_EQ(lines[5], R"({"kind":"save-file","initial":"/d/a.zip","answer":"cancel"})");
  EXPECT_EQ(lines[8], R"({"kind":"save-file","initial":"/d/b.zip","answer":"/d/b.zip"})");
}

TEST_F(ScriptBackendTest, DownloadChoiceAnswers) {
  WriteFile(Answers(), "regular\ncancel\nno\nok\n\n/some/path\n");
  std::vector<int> buttons;
  for (int i = 0; i < 7; ++i) Backend().AskDownloadChoice("a.zip from h", [&](int b) { buttons.push_back(b); });
  EXPECT_EQ(buttons, (std::vector<int>{IDREGULARDOWNLOAD, IDCANCEL, IDCANCEL, IDOK, IDOK, IDOK, IDOK}));
  EXPECT_EQ(ReadLines(Log())[0], R"({"kind":"download-choice","text":"a.zip from h","answer":"regular"})");
}

TEST_F(ScriptBackendTest, NoAnswersFileAndNoLogStillAnswer) {
  UIScriptBackend silent("", "");
  int button = 0;
  silent.AskMessage("x", MB_YESNO, [&](int b) { button = b; });
  EXPECT_EQ(button, IDYES);
  EXPECT_EQ(Backend().TakeAnswer(), std::nullopt);  // the file does not exist
}

TEST_F(ScriptBackendTest, EachAnswerIsTakenOnceAcrossProcesses) {
  constexpr int kAnswers = 400;
  constexpr int kTakers = 4;
  std::string content;
  for (int i = 0; i < kAnswers; ++i) content += "a" + std::to_string(i) + "\n";
  WriteFile(Answers(), content);

  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  for (int c = 0; c < kTakers; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      char go;
      close(start[1]);
      if (read(start[0], &go, 1) != 0) _exit(2);
      UIScriptBackend backend("", Answers());
      std::string taken;
      while (auto answer = backend.TakeAnswer()) taken += *answer + "\n";
      WriteFile(m_dir.File("taken" + std::to_string(c)), taken);
      _exit(0);
    }
    children.push_back(pid);
  }
  close(start[0]);
  close(start[1]);  // every taker starts at once
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::string> all;
  for (int c = 0; c < kTakers; ++c) {
    std::vector<std::string> taken = ReadLines(m_dir.File("taken" + std::to_string(c)));
    all.insert(all.end(), taken.begin(), taken.end());
  }
  std::sort(all.begin(), all.end());
  std::vector<std::string> expected;
  for (int i = 0; i < kAnswers; ++i) expected.push_back("a" + std::to_string(i));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(all, expected);
}

TEST_F(ScriptBackendTest, WindowStatesAreThrottledButTheLastIsAlwaysWritten) {
  UIScriptBackend backend = Backend();
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  WindowState state;
  state.title = "File Download";
  for (int i = 0; i <= 100; ++i) {
    state.progress = i;
    state.visible = i >= 50;
    view->Update(state);
  }
  view->Close();
  view->Close();
  std::vector<std::string> lines = ReadLines(Log());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind(R"({"kind":"window","title":"File Download","saving":"","url":"","timeLeft":"",)"
                           R"("destFolder":"","rate":"","progress":0,"connections":["","","","","","","","","",""],)"
                           R"("visible":false)", 0), 0u) << lines[0];
  EXPECT_NE(lines[1].find(R"("progress":50,)"), std::string::npos);  // shown at once
  EXPECT_NE(lines[2].find(R"("progress":100,)"), std::string::npos);
  EXPECT_EQ(testenv::JsonString(lines[3], "kind"), "window-closed");

  // After the interval the next state is written straight away.
  auto slow = backend.CreateWindowView([](const ViewInput&) {});
  slow->Update(state);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  state.rate = "9.0 Kb/Sec";
  slow->Update(state);
  EXPECT_EQ(ReadLines(Log()).size(), 6u);
}

TEST_F(ScriptBackendTest, ChangesBeyondProgressAreWrittenAtOnceAndClicksReachOnlyUsableControls) {
  WriteFile(m_dir.File("clicks"), "command 1011\nwave 3\ncommand 2\nevent 1047\ncommand 7\n");
  UIScriptBackend backend(Log(), Answers(), m_dir.File("clicks"));
  std::vector<ViewInput> delivered;
  auto view = backend.CreateWindowView([&](const ViewInput& input) { delivered.push_back(input); });
  WindowState state;
  state.visible = true;
  DialogControl details, cancel, banner;
  details.id = 1011;
  details.visible = false;  // Details not allowed
  cancel.id = 2;
  banner.id = 1047;
  state.controls = {details, cancel, banner};
  for (int step = 0; step < 5; ++step) {
    state.expanded = step % 2 == 1;  // a change the log takes at once
    view->Update(state);
  }
  view->Close();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].kind, ViewInput::kCommand);
  EXPECT_EQ(delivered[0].id, 2);
  EXPECT_EQ(delivered[1].kind, ViewInput::kControlEvent);
  EXPECT_EQ(delivered[1].eventId, DISPID_CLICK);
  std::vector<std::string> clicks = testenv::LogLinesOfKind(Log(), "window-click");
  ASSERT_EQ(clicks.size(), 5u);
  EXPECT_NE(clicks[0].find(R"("click":"command 1011","delivered":false)"), std::string::npos) << clicks[0];
  EXPECT_NE(clicks[1].find(R"("delivered":false)"), std::string::npos);
  EXPECT_NE(clicks[2].find(R"("delivered":true)"), std::string::npos);
  EXPECT_EQ(testenv::LogLinesOfKind(Log(), "window").size(), 5u);
}

TEST(JsonQuoteTest, EscapesWhatJsonNeedsAndKeepsUtf8) {
  EXPECT_EQ(UIScriptBackend::JsonQuote(""), R"("")");
  EXPECT_EQ(UIScriptBackend::JsonQuote("say \"hi\"\\"), R"("say \"hi\"\\")");
  EXPECT_EQ(UIScriptBackend::JsonQuote("a\nb\rc\td\x01\x1f\x7f"), R"("a\nb\rc\td\u0001\u001f\u007f")");
  EXPECT_EQ(UIScriptBackend::JsonQuote("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
            "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
  // Lone, overlong, surrogate and cut-off sequences: each byte escaped.
  EXPECT_EQ(UIScriptBackend::JsonQuote("\xe9t\xc0\xaf"), R"("\u00e9t\u00c0\u00af")");
  EXPECT_EQ(UIScriptBackend::JsonQuote("\xed\xa0\x80"), R"("\u00ed\u00a0\u0080")");
  EXPECT_EQ(UIScriptBackend::JsonQuote("x\xe2\x82"), R"("x\u00e2\u0082")");
  EXPECT_EQ(testenv::JsonString("{\"k\":" + UIScriptBackend::JsonQuote("a\"b\\\n\xe9") + "}", "k"), "a\"b\\\n\xe9");
}

}  // namespace
