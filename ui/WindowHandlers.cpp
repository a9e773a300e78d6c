#include "ui/WindowHandlers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTranslator>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "ui/ScreenFit.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

bool OnGuiThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Job threads wait here for their turn, so that their message boxes come one
// after another; the GUI thread never takes this lock.
std::mutex JobMessageMutex;

// The desktop's file manager unless a test installed its own opener.
TFolderOpener& FolderOpener() {
  static TFolderOpener opener = [](const std::string& Folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Folder)));
  };
  return opener;
}

}  // namespace

std::string MessageLines(const std::string& Text) {
  std::string lines;
  lines.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r') {
      lines += '\n';
      if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      lines += Text[i];
    }
  }
  return lines;
}

namespace {

// A message box that fits its screen, frame included, and stands centred
// over its parent. Qt bounds a box whose line cannot wrap (a long folder
// name) to the screen's width without the frame, so on a small screen its
// edge and close button ran off.
class TMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* Event) override {
    QMessageBox::showEvent(Event);
    const QSize fitted = FittedSize(size(), FrameExtra(this), AvailableArea(ScreenOf(this)));
    if (fitted != size()) setFixedSize(fitted);
    CentreOnParent(this, parentWidget());
  }
};

// Shows Box modally; the hourglass of a running step gives way to the arrow
// while the user reads.
void ShowModal(QMessageBox& Box) {
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  Box.exec();
  if (busy) QApplication::restoreOverrideCursor();
}

}  // namespace

void ShowMessageBox(QWidget* Parent, const std::string& Text) {
  TMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                  QString::fromStdString(MessageLines(Text)), QMessageBox::Ok, Parent);
  ShowModal(box);
}

bool ShowCheckedMessageBox(QWidget* Parent, const std::string& Text,
                           const std::string& CheckCaption) {
  TMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                  QString::fromStdString(MessageLines(Text)), QMessageBox::Ok, Parent);
  auto* check = new QCheckBox(QString::fromStdString(CheckCaption));
  check->setObjectName(QStringLiteral("CheckBox"));
  box.setCheckBox(check);
  ShowModal(box);
  return check->isChecked();
}

bool AskQuestionBox(QWidget* Parent, const std::string& Text) {
  TMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                  QString::fromStdString(MessageLines(Text)), QMessageBox::Yes | QMessageBox::No,
                  Parent);
  box.setDefaultButton(QMessageBox::Yes);
  ShowModal(box);
  return box.result() == QMessageBox::Yes;
}

std::optional<std::string> ChooseFolderDialog(QWidget* Parent, const std::string& Title,
                                              const std::string& StartFolder) {
  const QString start = QString::fromStdString(StartFolder);
  const bool startExists = !StartFolder.empty() && QDir(start).exists();
  const QString chosen = QFileDialog::getExistingDirectory(
      Parent, QString::fromStdString(Title), startExists ? start : QString(),
      QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

int WindowFontPixels(double LogicalDpi) {
  constexpr double designDpi = 96.0;
  constexpr int designPixels = 11;
  if (!(LogicalDpi > designDpi)) return designPixels;
  return static_cast<int>(
      std::lround(designPixels * std::min(LogicalDpi, 4 * designDpi) / designDpi));
}

void UseWindowFont() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  if (QFontInfo(font).family() != QStringLiteral("MS Sans Serif")) {
    font = QFont(QStringLiteral("DejaVu Sans"));
    // 11 pixels at the usual 96 dots per inch; a larger font resolution
    // asked of the desktop (QT_FONT_DPI, text scaling) gives a larger face.
    const QScreen* screen = QGuiApplication::primaryScreen();
    font.setPixelSize(WindowFontPixels(screen ? screen->logicalDotsPerInchY() : 96.0));
  }
  QApplication::setFont(font);
}

TFolderOpener SetFolderOpener(TFolderOpener Opener) {
  std::swap(FolderOpener(), Opener);
  return Opener;
}

bool OpenInFileManager(const std::string& Folder) {
  return FolderOpener() && FolderOpener()(Folder);
}

bool UseQtTranslations(const std::string& Locale) {
  static std::unique_ptr<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  auto translator = std::make_unique<QTranslator>();
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QStringLiteral("qtbase_") + QString::fromStdString(Locale), folder))
    return false;
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
  return true;
}

void InstallWindowHandlers(QWidget* Parent) {
  QPointer<QWidget> parent(Parent);
  SetMessageHandler([parent](const std::string& Text) {
    if (OnGuiThread()) {
      ShowMessageBox(parent, Text);
      return;
    }
    std::lock_guard<std::mutex> turn(JobMessageMutex);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [parent, &Text] { ShowMessageBox(parent, Text); },
        Qt::BlockingQueuedConnection);
  });
  SetCheckedMessageHandler([parent](const std::string& Text, const std::string& CheckCaption) {
    if (OnGuiThread()) return ShowCheckedMessageBox(parent, Text, CheckCaption);
    std::lock_guard<std::mutex> turn(JobMessageMutex);
    bool checked = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] { checked = ShowCheckedMessageBox(parent, Text, CheckCaption); },
        Qt::BlockingQueuedConnection);
    return checked;
  });
  SetQuestionHandler([parent](const std::string& Text) {
    if (OnGuiThread()) return AskQuestionBox(parent, Text);
    std::lock_guard<std::mutex> turn(JobMessageMutex);
    bool yes = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { yes = AskQuestionBox(parent, Text); },
        Qt::BlockingQueuedConnection);
    return yes;
  });
  SetFolderHandler([parent](const std::string& Title, const std::string& StartFolder) {
    std::optional<std::string> chosen;
    if (OnGuiThread()) return ChooseFolderDialog(parent, Title, StartFolder);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] { chosen = ChooseFolderDialog(parent, Title, StartFolder); },
        Qt::BlockingQueuedConnection);
    return chosen;
  });
}

}  // namespace pictrim
