#include "ui/JobResultBar.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "ui/Controls.h"
#include "ui/ElidingLabel.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"

namespace pictrim {

using namespace controls;

TJobResultBar::TJobResultBar(QWidget* Parent) : QFrame(Parent) {
  setObjectName(QStringLiteral("JobResultBar"));
  setFrameShape(QFrame::StyledPanel);
  ProblemIcon = Named(new QLabel, "ProblemIcon");
  const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  ProblemIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(icon, icon));
  ProblemIcon->hide();
  // The counts are never shortened: on a narrow window they wrap.
  AccountLabel = Named(new QLabel, "AccountLabel");
  AccountLabel->setTextFormat(Qt::PlainText);
  AccountLabel->setWordWrap(true);
  OutputLabel = Named(new TElidingLabel(QString()), "OutputLabel");
  OutputLabel->setTextFormat(Qt::PlainText);
  OpenFolderButton =
      Named(new QPushButton(style()->standardIcon(QStyle::SP_DirOpenIcon), QString()),
            "OpenFolderButton");
  PressOnEnter(OpenFolderButton);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 2, 4, 2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(0);
  // The account has the whole width beside the warning sign; the folder
  // below may be shortened, as paths are.
  auto* account = new QHBoxLayout;
  account->setSpacing(4);
  account->addWidget(ProblemIcon, 0, Qt::AlignTop);
  account->addWidget(AccountLabel, 1);
  grid->addLayout(account, 0, 0, 1, 2);
  grid->addWidget(OutputLabel, 1, 0);
  grid->addWidget(OpenFolderButton, 1, 1, Qt::AlignVCenter);
  grid->setColumnStretch(0, 1);
  connect(OpenFolderButton, &QPushButton::clicked, this, [this] { OpenFolderButtonClick(); });
  ApplyTexts();
}

void TJobResultBar::ApplyTexts() {
  OpenFolderButton->setText(T(TTextId::OpenFolderCaption));
  OpenFolderButton->setToolTip(T(TTextId::OpenFolderHint));
  ShowTexts();
}

void TJobResultBar::ShowRunning() {
  Running_ = true;
  ShowTexts();
}

void TJobResultBar::ShowResult(TJobEnd End, const std::string& OutputFolder) {
  Running_ = false;
  HasResult_ = true;
  End_ = std::move(End);
  OutputFolder_ = FolderExists(OutputFolder) ? OutputFolder : std::string();
  ShowTexts();
}

void TJobResultBar::ShowResult(const std::vector<std::string>& Account,
                               const std::string& OutputFolder) {
  ShowResult(TJobEnd{[Account] { return Account; }}, OutputFolder);
}

void TJobResultBar::ShowTexts() {
  const std::vector<std::string> account =
      HasResult_ && End_.Lines ? End_.Lines() : std::vector<std::string>();
  const bool problems = !Running_ && !account.empty() && (End_.Failed > 0 || End_.Damaged > 0);
  ProblemIcon->setVisible(problems);
  SetBold(AccountLabel, problems);
  if (Running_ || account.empty()) {
    AccountLabel->setText(Running_ ? QString() : T(TTextId::DropHint));
    AccountLabel->setToolTip(QString());
    OutputLabel->hide();
    OpenFolderButton->hide();
    return;
  }
  AccountLabel->setText(Q(account.back()));
  QStringList lines;
  for (const std::string& line : account) lines << Q(line);
  AccountLabel->setToolTip(account.size() > 1 ? lines.join(QLatin1Char('\n')) : QString());
  OutputLabel->SetText(OutputFolder_.empty() ? QString()
                                             : Q(Text(TTextId::OutputFolder, {OutputFolder_})));
  OutputLabel->setVisible(!OutputFolder_.empty());
  OpenFolderButton->setVisible(!OutputFolder_.empty());
}

void TJobResultBar::OpenFolderButtonClick() {
  if (OutputFolder_.empty()) return;
  if (!OpenInFileManager(OutputFolder_))
    ShowMessage(Text(TTextId::OpenFolderFailed, {OutputFolder_}));
}

}  // namespace pictrim
