// The strip between the tabs and the status bar that tells how the last job
// ended: its account and where its copies went, with a button that opens that
// folder in the file manager. Before the first job it tells that a folder may
// also be dropped onto the window.
#pragma once

#include <QFrame>

#include <string>
#include <vector>

class QPushButton;

namespace pictrim {

class TElidingLabel;

class TJobResultBar : public QFrame {
 public:
  explicit TJobResultBar(QWidget* Parent = nullptr);

  // Captions of the language in use.
  void ApplyTexts();
  // A job runs: nothing to tell until it ends.
  void ShowRunning();
  // Shows the account of a job (its lines, the counts last; the lines above
  // them as the hint) and, when the job made it, OutputFolder with the button
  // that opens it.
  void ShowResult(const std::vector<std::string>& Account, const std::string& OutputFolder);
  // Opens the output folder; a folder that cannot be opened is reported.
  void OpenFolderButtonClick();
  const std::string& OutputFolder() const { return OutputFolder_; }

  TElidingLabel* AccountLabel = nullptr;
  TElidingLabel* OutputLabel = nullptr;
  QPushButton* OpenFolderButton = nullptr;

 private:
  void ShowTexts();

  bool Running_ = false;
  bool HasResult_ = false;
  std::vector<std::string> Account_;
  std::string OutputFolder_;
};

}  // namespace pictrim
