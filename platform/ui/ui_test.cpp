#include "platform/ui/ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/loop/event_loop.h"
#include "platform/ui/ui_console_backend.h"
#include "tests/support/test_env.h"

namespace {

// Answers on a thread of its own, after first posting `before` to the asker.
class LateBackend : public UIBackend {
 public:
  LateBackend(unsigned before, bool answer) : m_before(before), m_answer(answer) {}
  ~LateBackend() override {
    for (auto& t : m_threads) t.join();
  }
  void AskMessage(const std::string&, unsigned, std::function<void(int)> answered) override {
    Later([answered] { answered(IDNO); });
  }
  void AskSaveFile(const std::string&, std::function<void(std::optional<std::string>)> answered) override {
    Later([answered] { answered(std::string("/chosen")); });
  }
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler) override { return nullptr; }

 private:
  void Later(std::function<void()> answer) {
    ThreadId asker = GetCurrentThreadId();
    m_threads.emplace_back([this, asker, answer] {
      PostThreadMessage(asker, m_before);
      std::this_thread::sleep_for(std::chrono::milliseconds(m_answer ? 30 : 300));
      answer();  // late answers to an abandoned question are dropped
    });
  }
  unsigned m_before;
  bool m_answer;
  std::vector<std::thread> m_threads;
};

class UITest : public ::testing::Test {
 protected:
  void TearDown() override { SetUIBackend(std::move(m_previous)); }
  void Use(std::unique_ptr<UIBackend> backend) {
    auto previous = SetUIBackend(std::move(backend));
    if (!m_previous) m_previous = std::move(previous);
  }
  std::unique_ptr<UIBackend> m_previous;
};

TEST_F(UITest, WaitingForAnAnswerKeepsTheThreadsLoopRunning) {
  Use(std::make_unique<LateBackend>(WM_USER + 1, true));
  std::thread([] {
    std::vector<unsigned> seen;
    EventLoop::ForThisThread().SetMessageHandler([&](const ThreadMessage& m) { seen.push_back(m.message); });
    EXPECT_EQ(AfxMessageBox("question", MB_YESNO), IDNO);
    EXPECT_EQ(PromptSaveFile("/proposed"), "/chosen");
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], WM_USER + 1);
  }).join();
}

TEST_F(UITest, AQuitWhileWaitingLeavesTheQuestionUnanswered) {
  Use(std::make_unique<LateBackend>(WM_QUIT, false));
  std::thread([] {
    EXPECT_EQ(AfxMessageBox("question", MB_YESNO), IDYES);
    EXPECT_TRUE(EventLoop::ForThisThread().QuitPending());
  }).join();
  std::thread([] { EXPECT_EQ(PromptSaveFile("/proposed"), std::nullopt); }).join();
}

TEST_F(UITest, BackendIsChosenByTheEnvironmentOnFirstUse) {
  testenv::ScratchDir dir;
  Use(nullptr);
  setenv("KESTRION_UI", "script", 1);
  setenv("KESTRION_UI_LOG", dir.File("log").c_str(), 1);
  EXPECT_EQ(AfxMessageBox("hello", MB_ICONINFORMATION), IDOK);
  MessageBeep();
  EXPECT_EQ(PromptSaveFile("/p"), "/p");
  std::vector<std::string> lines = testenv::ReadLines(dir.File("log"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], R"({"kind":"message","text":"hello","buttons":"ok","icon":"information","answer":"ok"})");
  EXPECT_EQ(lines[1], R"({"kind":"beep"})");

  Use(nullptr);
  setenv("KESTRION_UI", "anything", 1);
  EXPECT_NE(dynamic_cast<UIConsoleBackend*>(&CurrentUIBackend()), nullptr);
  unsetenv("KESTRION_UI");
  unsetenv("KESTRION_UI_LOG");
}

}  // namespace
