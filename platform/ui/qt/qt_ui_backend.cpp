#include "platform/ui/qt/qt_ui_backend.h"

#include <sys/types.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPalette>

#include "platform/ui/qt/qt_dialog_window.h"
#include "platform/ui/qt/qt_download_choice.h"
#include "platform/ui/qt/qt_window_view.h"

namespace {

constexpr const char* kMessageTitle = "Kestrion";

bool OnProcessMainThread() { return gettid() == getpid(); }

// Runs once per process. Qt keeps references to its arguments for the
// application's whole life, and the application is never deleted: windows
// may be drawn until the process ends.
void StartQt(const std::string& platform) {
  static std::vector<std::string> arguments{"kestrion"};
  static std::vector<char*> argv;
  static int argc;
  if (!platform.empty()) arguments.insert(arguments.end(), {"-platform", platform});
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  new QApplication(argc, argv.data());
}

// Qt ends the process when the platform asked for is missing. Its xcb
// plug-in comes with Qt's own packages; the Wayland one may not.
bool QtPlatformInstalled(const std::string& platform) {
  if (platform != "wayland") return true;
  const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms/";
  return QFileInfo::exists(plugins + "libqwayland-generic.so");
}

int MessageAnswer(QMessageBox& box, unsigned type) {
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
  }
}

QMessageBox* MakeMessageBox(const std::string& text, unsigned type) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if ((type & 0xF0) == MB_ICONEXCLAMATION) icon = QMessageBox::Warning;
  if ((type & 0xF0) == MB_ICONINFORMATION) icon = QMessageBox::Information;
  const bool yesNo = (type & 0x0F) == MB_YESNO;
  auto* box = new QMessageBox(icon, kMessageTitle, QString::fromStdString(text),
                              yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
  return box;
}

// Questions are centred on the screen, so two asked at once (by different
// threads) would open exactly on top of each other: one that would cover
// another window exactly moves down and right until it covers none. A
// dialog is centred while it is being shown, after its Show event, so the
// move that centres it is the one to follow.
class KeepApart : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) m_showing = true;
    if (event->type() == QEvent::Move && m_showing) {
      m_showing = false;
      MoveOffOthers(static_cast<QWidget&>(*watched));
    }
    return false;
  }

 private:
  static constexpr int kStep = 24;
  static constexpr int kMostSteps = 20;

  static bool CoversAnother(const QWidget& window) {
    for (const QWidget* other : QApplication::topLevelWidgets())
      if (other != &window && other->isVisible() && other->pos() == window.pos()) return true;
    return false;
  }
  static void MoveOffOthers(QWidget& window) {
    for (int step = 0; step < kMostSteps && CoversAnother(window); ++step)
      window.move(window.pos() + QPoint(kStep, kStep));
  }

  bool m_showing = false;
};

QFileDialog* MakeSaveDialog(const std::string& initialPath) {
  auto* dialog = new QFileDialog(nullptr, QStringLiteral("Save As"));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  const QFileInfo initial(QString::fromStdString(initialPath));
  dialog->setDirectory(initial.absolutePath());
  dialog->selectFile(initial.fileName());
  return dialog;
}

}  // namespace

QtUIBackend* QtUIBackend::Create(const std::string& qtPlatform, std::string* failure) {
  if (!OnProcessMainThread()) {
    *failure = "windows can only be started on the main thread";
    return nullptr;
  }
  if (!qApp) {
    if (!QtPlatformInstalled(qtPlatform)) {
      *failure = "Qt has no " + qtPlatform + " platform plug-in";
      return nullptr;
    }
    StartQt(qtPlatform);
  }
  qApp->setQuitOnLastWindowClosed(false);
  return new QtUIBackend();
}

QtUIBackend::QtUIBackend() : m_shared(std::make_shared<Shared>()) {
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  m_highlight = RGB(highlight.red(), highlight.green(), highlight.blue());
}

QtUIBackend::~QtUIBackend() = default;

void QtUIBackend::AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) {
  Ask([text, type] { return MakeMessageBox(text, type); },
      [type, answered](QDialog& box, int) { answered(MessageAnswer(static_cast<QMessageBox&>(box), type)); });
}

void QtUIBackend::AskSaveFile(const std::string& initialPath,
                              std::function<void(std::optional<std::string>)> answered) {
  Ask([initialPath] { return MakeSaveDialog(initialPath); },
      [answered](QDialog& dialog, int result) {
        const QStringList chosen = static_cast<QFileDialog&>(dialog).selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty())
          answered(chosen.first().toStdString());
        else
          answered(std::nullopt);
      });
}

void QtUIBackend::AskDownloadChoice(const std::string& text, std::function<void(int)> answered) {
  Ask([text] { return MakeDownloadChoice(text); },
      [answered](QDialog&, int result) { answered(DownloadChoiceAnswer(result)); });
}

void QtUIBackend::Ask(MakeDialog makeQuestion, Deliver deliver) {
  MakeDialog make = [makeQuestion] {
    QDialog* dialog = makeQuestion();
    dialog->installEventFilter(new KeepApart(dialog));
    return dialog;
  };
  if (OnQtThread()) {
    std::unique_ptr<QDialog> dialog(make());
    const int result = dialog->exec();
    deliver(*dialog, result);
    return;
  }
  auto question = std::make_shared<Question>();
  question->asker = std::this_thread::get_id();
  {
    std::lock_guard guard(m_shared->lock);
    m_shared->questions.push_back(question);
  }
  PostToQtThread([shared = m_shared, question, make, deliver] { ShowQuestion(shared, question, make, deliver); });
}

// Not modal: the other windows (the progress window's Cancel above all)
// stay usable while the asking thread waits.
void QtUIBackend::ShowQuestion(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Question>& question,
                               const MakeDialog& make, const Deliver& deliver) {
  QDialog* dialog = nullptr;
  {
    std::lock_guard guard(shared->lock);
    if (question->withdrawn) {
      shared->questions.remove(question);
      return;
    }
    dialog = make();
    question->dialog = dialog;
  }
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::NonModal);
  QObject::connect(dialog, &QDialog::finished, dialog, [shared, question, deliver, dialog](int result) {
    bool withdrawn;
    {
      std::lock_guard guard(shared->lock);
      withdrawn = question->withdrawn;
      question->dialog = nullptr;
      shared->questions.remove(question);
    }
    if (!withdrawn) deliver(*dialog, result);
  });
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void QtUIBackend::WithdrawQuestions() {
  std::vector<std::shared_ptr<Question>> withdrawn;
  {
    std::lock_guard guard(m_shared->lock);
    for (const auto& question : m_shared->questions) {
      if (question->asker != std::this_thread::get_id()) continue;
      question->withdrawn = true;
      withdrawn.push_back(question);
    }
  }
  PostToQtThread([shared = m_shared, withdrawn] {
    for (const auto& question : withdrawn) {
      QDialog* dialog = nullptr;
      {
        std::lock_guard guard(shared->lock);
        dialog = question->dialog;
      }
      if (dialog) dialog->done(QDialog::Rejected);
    }
  });
}

std::unique_ptr<IWindowView> QtUIBackend::CreateWindowView(ViewInputHandler onInput) {
  return std::make_unique<QtWindowView>(std::move(onInput));
}

void QtUIBackend::Beep() {
  PostToQtThread([] { QApplication::beep(); });
}

// Fonts made on the calling thread: Qt keeps their engines apart from
// those the main thread paints with.
UISize QtUIBackend::TextExtent(const std::string& text) {
  const QSize size = QFontMetrics(QtDialogWindow::DialogFont()).size(Qt::TextSingleLine, QString::fromStdString(text));
  return {size.width(), size.height()};
}

// A quit asked for before the loop runs ends it at once; one posted while
// it runs ends it there. Neither reaches a later loop.
void QtUIBackend::RunMainLoop() {
  QEventLoop loop;
  m_shared->runningLoop = &loop;
  if (!m_shared->quitRequested.exchange(false)) loop.exec();
  m_shared->runningLoop = nullptr;
}

void QtUIBackend::QuitMainLoop() {
  m_shared->quitRequested = true;
  PostToQtThread([shared = m_shared] {
    if (!shared->runningLoop) return;
    shared->quitRequested = false;
    shared->runningLoop->quit();
  });
}

extern "C" __attribute__((visibility("default"))) UIBackend* KestrionCreateQtBackend(const std::string& qtPlatform,
                                                                                     std::string* failure) {
  return QtUIBackend::Create(qtPlatform, failure);
}
