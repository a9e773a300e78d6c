// The strip between the tabs and the status bar that tells how the last job
// ended: its account and where its copies went, with a button that opens that
// folder in the file manager. Failed files and copies of damaged sources are
// counted in sight, with a warning sign. The account is made anew in the
// language in use whenever the language changes. Before the first job it
// tells that a folder may also be dropped onto the window.
#pragma once

#include <QFrame>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace pictrim {

class TElidingLabel;

// How a job ended, as the strip tells it.
struct TJobEnd {
  // The account's lines in the language in use, the one to show in sight last.
  std::function<std::vector<std::string>()> Lines;
  // Files that got no copy, and copies made from damaged sources.
  int64_t Failed = 0;
  int64_t Damaged = 0;
};

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
  void ShowResult(TJobEnd End, const std::string& OutputFolder);
  // The same with lines that stay as they are.
  void ShowResult(const std::vector<std::string>& Account, const std::string& OutputFolder);
  // Opens the output folder; a folder that cannot be opened is reported.
  void OpenFolderButtonClick();
  const std::string& OutputFolder() const { return OutputFolder_; }

  QLabel* ProblemIcon = nullptr;  // shown when files failed or sources were damaged
  QLabel* AccountLabel = nullptr;  // wraps rather than shortens the counts
  TElidingLabel* OutputLabel = nullptr;
  QPushButton* OpenFolderButton = nullptr;

 private:
  void ShowTexts();

  bool Running_ = false;
  bool HasResult_ = false;
  TJobEnd End_;
  std::string OutputFolder_;
};

}  // namespace pictrim
