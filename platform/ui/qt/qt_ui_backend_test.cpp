#include "platform/ui/qt/qt_ui_backend.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/ui/qt/qt_dialog_window.h"
#include "platform/ui/qt/qt_test_pump.h"

namespace {

template <typename Widget>
Widget* WaitShown() {
  Widget* found = nullptr;
  PumpQtUntil([&] { return (found = ShownWindow<Widget>()) != nullptr; });
  return found;
}

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string failure;
    UIBackend* backend = QtUIBackend::Create("", &failure);
    ASSERT_NE(backend, nullptr) << failure;
    m_previous = SetUIBackend(std::unique_ptr<UIBackend>(backend));
  }
  void TearDown() override {
    SetUIBackend(std::move(m_previous));
    PumpQtUntil([] { return !ShownWindow<QDialog>(); });
  }

  std::unique_ptr<UIBackend> m_previous;
};

TEST_F(QtBackendTest, AWorkersQuestionBlocksOnlyThatWorkerWhoseSocketsAreStillServed) {
  int sockets[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  std::atomic<int> served{0};
  std::atomic<int> answer{0};
  std::thread worker([&] {
    EventLoop::ForThisThread().Watch(sockets[0], EventLoop::kReadable, [&](uint32_t) {
      char buffer[64];
      served += static_cast<int>(read(sockets[0], buffer, sizeof buffer));
    });
    answer = AfxMessageBox("Replace the file?", MB_YESNO | MB_ICONEXCLAMATION);
    EventLoop::ForThisThread().Unwatch(sockets[0]);
  });
  QMessageBox* box = WaitShown<QMessageBox>();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Replace the file?");
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_FALSE(box->isModal());  // the other windows stay usable
  ASSERT_EQ(write(sockets[1], "bytes", 5), 5);
  EXPECT_TRUE(PumpQtUntil([&] { return served == 5; })) << "the worker's loop stopped while it waited";
  EXPECT_EQ(answer, 0);
  box->button(QMessageBox::No)->click();
  worker.join();
  EXPECT_EQ(answer, IDNO);
  close(sockets[0]);
  close(sockets[1]);
}

TEST_F(QtBackendTest, AQuestionOfAThreadToldToQuitIsTakenAway) {
  std::atomic<ThreadId> asker{0};
  std::atomic<int> answer{0};
  std::thread worker([&] {
    asker = GetCurrentThreadId();
    answer = AfxMessageBox("Output file could not be created", MB_OK);
  });
  ASSERT_NE(WaitShown<QMessageBox>(), nullptr);
  PostThreadMessage(asker, WM_QUIT);
  EXPECT_TRUE(PumpQtUntil([] { return !ShownWindow<QMessageBox>(); }));
  worker.join();
  EXPECT_EQ(answer, IDOK);
}

TEST_F(QtBackendTest, QuestionsOfTwoThreadsOpenApart) {
  std::thread first([] { AfxMessageBox("first", MB_OK); });
  std::thread second([] { AfxMessageBox("second", MB_OK); });
  std::vector<QMessageBox*> boxes;
  ASSERT_TRUE(PumpQtUntil([&] {
    boxes.clear();
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) boxes.push_back(box);
    return boxes.size() == 2;
  }));
  EXPECT_NE(boxes[0]->pos(), boxes[1]->pos());
  for (QMessageBox* box : boxes) box->button(QMessageBox::Ok)->click();
  first.join();
  second.join();
}

TEST_F(QtBackendTest, TheDownloadChoiceAnswersByItsButtons) {
  struct Case {
    const char* what;
    std::function<void(QDialog&)> act;
    int answer;
  };
  auto press = [](const char* text) {
    return [text](QDialog& dialog) {
      for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == text) button->click();
    };
  };
  const Case cases[] = {
      {"OK", press("OK"), IDOK},
      {"Cancel", press("Cancel"), IDCANCEL},
      {"Regular Download", press("Regular Download"), IDREGULARDOWNLOAD},
      {"Escape", [](QDialog& dialog) { dialog.reject(); }, IDCANCEL},
      {"close box", [](QDialog& dialog) { dialog.close(); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = ShowDownloadChoice("setup.exe from example.test"); });
    auto* dialog = WaitShown<QtDialogWindow>();
    ASSERT_NE(dialog, nullptr) << c.what;
    EXPECT_EQ(dialog->windowTitle(), "File Download");
    EXPECT_EQ(dialog->size(), QSize(408, 293));  // 272 x 180 dialog units
    auto* run = static_cast<QRadioButton*>(dialog->Control(201));
    auto* save = static_cast<QRadioButton*>(dialog->Control(202));
    EXPECT_FALSE(run->isEnabled());
    EXPECT_TRUE(save->isChecked());
    EXPECT_TRUE(static_cast<QPushButton*>(dialog->Control(IDOK))->isDefault());
    EXPECT_EQ(static_cast<QLabel*>(dialog->Control(203))->text(), "setup.exe from example.test");
    bool pictured = false;
    for (QLabel* label : dialog->findChildren<QLabel*>())
      pictured |= label->pixmap().size() == QSize(121, 230);
    EXPECT_TRUE(pictured);
    c.act(*dialog);
    PumpQtUntil([&] { return answer != 0; });
    worker.join();
    EXPECT_EQ(answer, c.answer) << c.what;
  }
}

TEST_F(QtBackendTest, TheSaveDialogGivesTheChosenPathOrNothing) {
  // A name that does not exist, so no overwrite question comes first.
  const std::string target = "/tmp/kestrion-save-test-" + std::to_string(getpid()) + ".zip";
  for (bool accept : {true, false}) {
    std::optional<std::string> chosen = "unanswered";
    std::atomic<bool> done{false};
    std::thread worker([&] {
      chosen = PromptSaveFile("/tmp/a b.zip");
      done = true;
    });
    QFileDialog* dialog = WaitShown<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    if (accept) {
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(target).section('/', -1));
      QMetaObject::invokeMethod(dialog, "accept");
    } else {
      dialog->reject();
    }
    PumpQtUntil([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(chosen, accept ? std::optional<std::string>(target) : std::nullopt);
  }
}

TEST_F(QtBackendTest, WindowStatesAreCoalescedAndTheLastOneIsDrawn) {
  std::atomic<bool> updated{false};
  std::atomic<bool> closing{false};
  QElapsedTimer clock;
  clock.start();
  std::thread owner([&] {
    std::unique_ptr<IWindowView> view = CurrentUIBackend().CreateWindowView([](const ViewInput&) {});
    WindowState state;
    state.size = {200, 100};
    state.visible = true;
    for (int i = 1; i <= 2000; ++i) {
      state.title = "state " + std::to_string(i);
      view->Update(state);
      if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    updated = true;
    while (!closing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    view->Close();
  });
  QtDialogWindow* window = nullptr;
  EXPECT_TRUE(PumpQtUntil([&] {
    window = ShownWindow<QtDialogWindow>();
    return updated && window && window->windowTitle() == "state 2000";
  }));
  ASSERT_NE(window, nullptr);
  const qint64 elapsed = clock.elapsed();
  EXPECT_LE(window->StatesApplied(), elapsed / 33 + 2) << "in " << elapsed << " ms";
  EXPECT_EQ(window->size(), QSize(200, 100));
  closing = true;
  owner.join();
  EXPECT_TRUE(PumpQtUntil([] { return !ShownWindow<QtDialogWindow>(); }));
}

TEST_F(QtBackendTest, TheMainLoopEndsWhenToldEvenBeforeItRuns) {
  CurrentUIBackend().QuitMainLoop();
  CurrentUIBackend().RunMainLoop();  // returns at once
  std::thread quitter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CurrentUIBackend().QuitMainLoop();
  });
  CurrentUIBackend().RunMainLoop();
  quitter.join();
}

}  // namespace
