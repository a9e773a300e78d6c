// The renaming tab's part of the main window: a run planned, shown and
// asked for once before anything is renamed, the message box per file
// behind its "no more" check box, and the undo of the last run.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>

#include <string>
#include <vector>

#include "rename/RenamePlan.h"
#include "ui/JobResultBar.h"
#include "ui/Main.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "util/MoreDialogs.h"
#include "util/Texts.h"

namespace pictrim {

void TMainForm::EditFileNameButtonClick() {
  if (JobRunning()) return;
  QToolButton* button = TabSheet3->EditFileNameButton;
  button->setEnabled(false);
  TRenameAccount account;
  const int format = TabSheet3->RadioGroup3->ItemIndex();
  const auto& modes = TRenameTab::RenameModes;
  if (format >= 0 && format < static_cast<int>(modes.size())) {
    TRenameOptions options;
    options.Mode = modes[format];
    options.ExifDate = TabSheet3->ExifDateCheckBox->isChecked();
    std::string folder;
    SelectFolder(folder);
    if (!folder.empty()) account = RenameAfterPreview(folder, options);
  }
  ShowRenameEnd(RenameStatusText(account.Renamed), account);
  button->setEnabled(true);
}

TRenameAccount TMainForm::RenameAfterPreview(const std::string& Folder,
                                             const TRenameOptions& Options) {
  Renaming_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const TRenamePlan plan = PlanRenames(Folder, Options);
  QApplication::restoreOverrideCursor();
  TabSheet3->ShowPreview(plan);
  TRenameAccount account;
  // Nothing to rename needs no yes; the boxes still name every file.
  const int count = plan.Account().Renamed;
  if (count == 0 || AskQuestion(Text(TTextId::RenameQuestion, {std::to_string(count)}))) {
    // A message box per file until the user asks for no more in this run.
    const TRenameListener boxes =
        [skip = false, caption = RenameMessagesCaption_](const TRenameResult& Result) mutable {
          if (!skip) skip = ShowCheckedMessage(RenameResultText(Result), caption);
        };
    account = CarryOutRenames(plan, boxes, ErrorLog_);
    if (account.Renamed > 0) TabSheet3->OfferUndo(plan.Folder);
  }
  Renaming_ = false;
  return account;
}

void TMainForm::UndoRenameButtonClick() {
  if (JobRunning()) return;
  QPushButton* button = TabSheet3->UndoRenameButton;
  button->setEnabled(false);
  Renaming_ = true;
  const std::optional<TRenameAccount> account =
      UndoRenames(TabSheet3->UndoFolder(), false, nullptr, ErrorLog_);
  Renaming_ = false;
  const TRenameAccount done = account.value_or(TRenameAccount());
  ShowRenameEnd(Text(TTextId::UndoneStatus, {std::to_string(done.Renamed)}), done);
  TabSheet3->OfferUndo(TabSheet3->UndoFolder());
  button->setEnabled(true);
}

void TMainForm::ShowRenameEnd(const std::string& Status, const TRenameAccount& Account) {
  SetStatus(Status);
  // The account of a run that listed files; a run that found none says nothing.
  const bool listed = Account.Renamed + Account.Skipped + Account.Failed > 0;
  // Its line is made in the language of the moment.
  ResultBar->ShowResult(
      TJobEnd{[Account, listed] {
                return listed ? std::vector<std::string>{RenameAccountText(Account, false)}
                              : std::vector<std::string>();
              },
              Account.Failed, 0},
      std::string());
  ShowErrorLines();
}

}  // namespace pictrim
