// Reporting of a run without a window: the batches' notifications become a
// progress line on stderr (redrawn in place on a terminal, one line per file
// otherwise), message boxes become lines that need no click, and the error
// log is printed when the run ends.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "engine/JobAccount.h"
#include "platform/BatchTarget.h"
#include "util/ErrorLog.h"

namespace pictrim {

class TConsoleReport : public TQueuedBatchTarget {
 public:
  // Terminal: redraw one progress line of at most Columns characters;
  // otherwise print a plain line per file.
  TConsoleReport(std::ostream& Err, bool Terminal, int Columns = 80);

  // A message box: one line, printed at once.
  void Message(const std::string& Text);
  // Ends the progress line, prints the last status text and every line of
  // the error log.
  void Finish(const TErrorLog& ErrorLog);

  const std::string& Status() const { return Status_; }

 private:
  void Handle(const TBatchMessage& Message);
  void DrawLine();
  void ClearLine();

  std::ostream& Err_;
  bool Terminal_;
  int Columns_;
  bool LineShown_ = false;
  int64_t Done_ = 0;
  int64_t Total_ = 0;
  std::string Activity_;  // shown behind the counts on a terminal
  std::string Status_;
};

// The exit status of a run: 2 when a batch refused to start, else 1 when the
// error log holds lines or a file failed, else 0.
int ExitStatus(bool Refused, const TErrorLog& ErrorLog, const TJobAccount& Account = {});

// Text as one line: every run of carriage returns and line feeds becomes one
// blank; those at the end are dropped.
std::string OneLine(const std::string& Text);

// Chooses Qt's offscreen platform when there is no display to show anything
// on (neither DISPLAY nor WAYLAND_DISPLAY set) and no platform was chosen.
void UseOffscreenWithoutDisplay();

// True when a window can be shown: a display is set and Qt was not told to
// draw offscreen.
bool HasDisplay();

}  // namespace pictrim
