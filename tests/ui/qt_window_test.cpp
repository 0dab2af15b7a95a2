// The real "File Download" window drawn by the qt backend, offscreen: its
// geometry against the template, its banner, and the pictures in docs/.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QMovie>
#include <QPainter>
#include <QPushButton>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/registry/registry.h"
#include "platform/ui/qt/qt_controls.h"
#include "platform/ui/qt/qt_dialog_window.h"
#include "platform/ui/qt/qt_download_choice.h"
#include "platform/ui/qt/qt_test_pump.h"
#include "platform/ui/qt/qt_ui_backend.h"
#include "tests/support/test_env.h"
#include "ui/download_progress_dlg.h"
#include "ui/progress_dlg_resources.h"

namespace {

using namespace progress_dlg;

// The window of a download half done, on a thread of its own as a
// manager's would be. Messages posted to that thread reach the window.
class WindowThread {
 public:
  explicit WindowThread(std::function<void(CDownloadProgressDlg&)> setUp) {
    m_thread = std::thread([this, setUp] {
      CDownloadProgressDlg dlg(nullptr);
      dlg.SetURL("http://downloads.example.test/pub/kestrion-258.tar.gz");
      dlg.SetFileName("kestrion-258.tar.gz");
      dlg.SetServer("downloads.example.test");
      dlg.SetDestFolder("/home/ada/Downloads");
      EventLoop& loop = EventLoop::ForThisThread();
      loop.SetMessageHandler([&](const ThreadMessage& message) { dlg.OnMessage(message); });
      dlg.Create();
      dlg.ShowWindow();
      setUp(dlg);
      m_id = GetCurrentThreadId();
      loop.PumpUntil([] { return false; });  // until WM_QUIT
      loop.SetMessageHandler(nullptr);
    });
    while (m_id == 0) std::this_thread::yield();
  }
  ~WindowThread() {
    PostThreadMessage(m_id, WM_QUIT);
    m_thread.join();
  }

 private:
  std::thread m_thread;
  std::atomic<ThreadId> m_id{0};
};

void ShowHalfDone(CDownloadProgressDlg& dlg) {
  const int64_t connections[] = {6291456, 5976883, 6081740, 6186598};
  for (int n = 1; n <= 4; ++n) dlg.SetConnectionBytes(n, connections[n - 1]);
  dlg.ShowProgress(1258291.0f, 24536677, 31, 37);
}

QtDialogWindow* ProgressWindow() { return ShownWindow<QtDialogWindow>(); }

// A banner of the program's own, as the banner updater would fetch one.
void WriteBanner(const std::string& path) {
  QImage banner(468, 60, QImage::Format_RGB32);
  QPainter p(&banner);
  QLinearGradient sky(0, 0, 468, 0);
  sky.setColorAt(0, QColor(0, 60, 120));
  sky.setColorAt(1, QColor(0, 140, 160));
  p.fillRect(banner.rect(), sky);
  p.setPen(Qt::white);
  QFont font("Liberation Sans");
  font.setPixelSize(22);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(16, 0, 440, 38), Qt::AlignVCenter, "Kestrion 258");
  font.setPixelSize(13);
  font.setBold(false);
  p.setFont(font);
  p.drawText(QRect(16, 32, 440, 24), Qt::AlignVCenter, "Four connections, one file, no waiting.");
  p.end();
  banner.save(QString::fromStdString(path));
}

// The window as the display shows it: on a real display (make pictures runs
// this under Xvfb with a window manager) a screenshot of it in its frame,
// taken by ImageMagick's import; offscreen, its client area.
bool SavePicture(QWidget& window, const QString& path) {
  if (QGuiApplication::platformName() == "offscreen") return window.grab().save(path);
  PumpQtUntil([] { return false; }, 300);  // drawn, and the frame settled
  const std::string command = "import -frame -window " + std::to_string(window.winId()) + " '" +
                              path.toStdString() + "'";
  return system(command.c_str()) == 0;
}

class QtWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KESTRION_REGISTRY", m_registry.Path().c_str(), 1);
    testenv::InstallProgramKeys(m_registry.Path());
    HKEY key = nullptr;
    RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion", &key);
    RegSetDword(key, "Details", 1);
    RegCloseKey(key);
    std::string failure;
    UIBackend* backend = QtUIBackend::Create("", &failure);
    ASSERT_NE(backend, nullptr) << failure;
    m_previous = SetUIBackend(std::unique_ptr<UIBackend>(backend));
  }
  void TearDown() override {
    // The window goes once its thread has ended; the next test must not
    // find it.
    PumpQtUntil([] { return !ProgressWindow(); });
    SetUIBackend(std::move(m_previous));
    unsetenv("KESTRION_REGISTRY");
  }
  void AddBanner(const std::string& file, const std::string& link) {
    HKEY key = nullptr;
    RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion\\ADFiles", &key);
    RegSetString(key, file, link);
    RegCloseKey(key);
  }

  testenv::ScratchDir m_registry;
  testenv::ScratchDir m_files;
  std::unique_ptr<UIBackend> m_previous;
};

TEST_F(QtWindowTest, CollapsedAtTheMarkersBottomAndExpandedToTheTemplate) {
  WindowThread thread(ShowHalfDone);
  QtDialogWindow* window = nullptr;
  ASSERT_TRUE(PumpQtUntil([&] { return (window = ProgressWindow()) && window->windowTitle().contains("37%"); }));
  const UIRect marker = MapDialogRect(0, 0, 325, 167);
  EXPECT_EQ(window->size(), QSize(DialogUnitsToPixelsX(325), marker.bottom));
  const UIRect cancel = MapDialogRect(269, 99, 50, 14);
  EXPECT_EQ(window->Control(IDCANCEL)->geometry(), QRect(cancel.left, cancel.top, cancel.Width(), cancel.Height()));
  auto* details = static_cast<QPushButton*>(window->Control(IDC_DETAILS));
  ASSERT_TRUE(details->isVisible());
  EXPECT_EQ(details->text(), "Details >>");
  EXPECT_FALSE(window->Control(IDC_CONN_BYTES_FIRST)->isEnabled());

  details->click();
  ASSERT_TRUE(PumpQtUntil([&] { return details->text() == "Details <<"; }));
  EXPECT_EQ(window->size(), QSize(DialogUnitsToPixelsX(325), DialogUnitsToPixelsY(225)));
  EXPECT_TRUE(window->Control(IDC_CONN_BYTES_FIRST)->isEnabled());
  details->click();
  ASSERT_TRUE(PumpQtUntil([&] { return window->size().height() == marker.bottom; }));
}

TEST_F(QtWindowTest, TheBannerShowsAnimatedAndStillPictures) {
  const std::string still = m_files.File("still.png");
  WriteBanner(still);
  const std::string animated = m_files.File("animated.gif");
  // Two frames of 2 x 1 pixels, uncompressed (a clear code before each
  // pixel keeps every code three bits wide), shown 0.1 s each, looping.
  const unsigned char gif[] = {
      'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF,
      0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0,
      0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x04, 0x53, 0,
      0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x0C, 0x51, 0, 0x3B};
  testenv::WriteFile(animated, std::string(reinterpret_cast<const char*>(gif), sizeof gif));
  AddBanner(animated, "http://ads.example.test/gif");
  AddBanner(still, "http://ads.example.test/png");
  WindowThread thread([](CDownloadProgressDlg&) {});
  QtDialogWindow* window = nullptr;
  ASSERT_TRUE(PumpQtUntil([&] { return (window = ProgressWindow()) != nullptr; }));
  auto* banner = static_cast<QtBannerControl*>(window->Control(IDC_BANNER));
  ASSERT_TRUE(PumpQtUntil([&] { return banner->IsAnimated(); }));
  EXPECT_TRUE(banner->movie()->isValid());
}

// The statics were sized for another font: each one-line text must still be
// whole and inside its control, in the progress window and the choice dialog.
TEST_F(QtWindowTest, EveryOneLineTextIsWholeInItsControl) {
  const int64_t bytes[] = {1023, 1048575 - 100, 6291456, int64_t{5120} << 20};
  WindowThread thread([&](CDownloadProgressDlg& dlg) {
    for (int n = 1; n <= 4; ++n) dlg.SetConnectionBytes(n, bytes[n - 1]);
    dlg.ShowProgress(1258291.0f, 24536677, 3725, 37);
  });
  QtDialogWindow* window = nullptr;
  ASSERT_TRUE(PumpQtUntil([&] { return (window = ProgressWindow()) && window->windowTitle().contains("37%"); }));
  static_cast<QPushButton*>(window->Control(IDC_DETAILS))->click();
  ASSERT_TRUE(PumpQtUntil([&] { return window->height() == DialogUnitsToPixelsY(225); }));
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(static_cast<QLabel*>(window->Control(IDC_CONN_BYTES_FIRST + n - 1))->text().toStdString(),
              CDownloadProgressDlg::FormatSize(bytes[n - 1]));
  std::unique_ptr<QDialog> choice(MakeDownloadChoice("setup.exe from example.test"));
  choice->show();
  bool asked = false;
  for (QWidget* dialog : {static_cast<QWidget*>(window), static_cast<QWidget*>(choice.get())}) {
    for (QtStaticControl* label : dialog->findChildren<QtStaticControl*>()) {
      const QFontMetrics metrics(label->font());
      if (!label->isVisible() || label->text().isEmpty() || label->height() >= 2 * metrics.lineSpacing()) continue;
      SCOPED_TRACE(label->text().toStdString());
      EXPECT_FALSE(label->wordWrap());
      EXPECT_FALSE(label->text().contains(QChar(0x2026)));
      EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
      asked |= label->text() == "What would you like to do with this file ?";
    }
  }
  EXPECT_TRUE(asked);
}

// Until a banner can be shown, the band shows the program's own.
TEST_F(QtWindowTest, WithoutABannerTheProgramsOwnIsShown) {
  for (bool unreadable : {false, true}) {
    ASSERT_TRUE(PumpQtUntil([] { return !ProgressWindow(); }));
    if (unreadable) {
      testenv::WriteFile(m_files.File("broken.png"), "not a picture");
      AddBanner(m_files.File("broken.png"), "http://ads.example.test/");
    }
    WindowThread thread([](CDownloadProgressDlg&) {});
    QtDialogWindow* window = nullptr;
    ASSERT_TRUE(PumpQtUntil([&] { return (window = ProgressWindow()) != nullptr; }));
    EXPECT_EQ(static_cast<QLabel*>(window->Control(IDC_BANNER))->pixmap().size(), QSize(468, 60)) << unreadable;
  }
}

// Writes docs/window.png and docs/window-details.png into
// KESTRION_PICTURES_DIR (make pictures), or into a scratch folder.
TEST_F(QtWindowTest, PicturesOfTheWindowHalfDone) {
  const std::string banner = m_files.File("banner.png");
  WriteBanner(banner);
  AddBanner(banner, "http://www.morvane.example/kestrion/");
  WindowThread thread(ShowHalfDone);
  QtDialogWindow* window = nullptr;
  ASSERT_TRUE(PumpQtUntil([&] { return (window = ProgressWindow()) && window->windowTitle().contains("37%"); }));
  const char* configured = getenv("KESTRION_PICTURES_DIR");
  const std::string folder = configured && *configured ? configured : m_files.Path();
  const QString collapsed = QString::fromStdString(folder + "/window.png");
  const QString expanded = QString::fromStdString(folder + "/window-details.png");
  ASSERT_TRUE(SavePicture(*window, collapsed));
  static_cast<QPushButton*>(window->Control(IDC_DETAILS))->click();
  ASSERT_TRUE(PumpQtUntil([&] { return window->height() == DialogUnitsToPixelsY(225); }));
  ASSERT_TRUE(SavePicture(*window, expanded));
  EXPECT_GE(QImage(collapsed).width(), 488);
  EXPECT_EQ(QImage(expanded).height() - QImage(collapsed).height(), 366 - 271);
}

}  // namespace
