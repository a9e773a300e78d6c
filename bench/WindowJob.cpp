// Measures the resize job started from the main window against the same job
// without a window, over a tree of camera-sized JPEGs brought to a longer
// edge of 1024 pixels:
//  - how long the GUI thread is kept from its events at most while the job
//    runs with previews on (the window must stay responsive), and
//  - the time of the job through the window with previews on against the
//    headless job (the ratio should stay within 1.1).
//
//   bench_window [--count N] [--runs R] [--keep DIR]
//
// Runs alternate (headless first, then window first, ...) in this process, on
// Qt's offscreen platform; medians are reported.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "engine/Resize.h"
#include "image/ImageBitmap.h"
#include "ui/FileSizeTab.h"
#include "ui/FolderAndOptions.h"
#include "ui/Main.h"
#include "ui/ProgressPanel.h"
#include "ui/RadioGroup.h"
#include "ui/RenameTab.h"
#include "ui/ResizeTab.h"
#include "ui/WindowHandlers.h"
#include "util/MoreDialogs.h"
#include "widgets/ColorButton.h"

namespace {

using namespace pictrim;
using TClock = std::chrono::steady_clock;

double Since(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

// Copies in the output folder, to see that both runs did the whole job.
int Copies(const std::string& Source) {
  const std::string output = ResizeOutputFolder(Source, 1024, 1024);
  if (!std::filesystem::is_directory(output)) return 0;
  int count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(output))
    count += entry.is_regular_file() ? 1 : 0;
  return count;
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

void RemoveOutput(const std::string& Source) {
  std::filesystem::remove_all(ResizeOutputFolder(Source, 1024, 1024));
}

double HeadlessRun(const std::string& Source) {
  RemoveOutput(Source);
  TQueuedBatchTarget target([](const TBatchMessage&) {});
  TErrorLog log;
  CancelRequested = false;
  const auto start = TClock::now();
  ConvertPICsWholeTree(&target, Source, "", 1024, 1024, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE,
                       true, log);
  target.pump();
  return Since(start);
}

struct TWindowRun {
  double Seconds = 0;
  double LongestStallMs = 0;  // longest time between two turns of the GUI's event loop
};

// The job as a user starts it: folder chosen, 1024 pixels for both edges,
// previews on, "Größe ändern AUSFÜHREN" clicked. With WatchStalls a 1 ms
// timer notes every turn of the event loop while the job runs (the timed runs
// go without it, as its wake-ups change how busy the machine looks).
TWindowRun WindowRun(const std::string& Source, bool WatchStalls) {
  RemoveOutput(Source);
  TMainForm form;
  form.TabSheet1->RadioGroup4->SetItemIndex(2);
  form.TabSheet1->RadioGroup1->SetItemIndex(1);
  form.SharedArea->PathRadioGroup->SetItemIndex(1);
  form.SharedArea->OverwriteCheckBox->setChecked(true);
  form.ProgressPanel->PreViewCheckBox->setChecked(true);
  form.show();
  TFolderHandler previous = SetFolderHandler(
      [&](const std::string&, const std::string&) { return std::optional<std::string>(Source); });
  form.PathButtonClick();
  SetFolderHandler(std::move(previous));
  // The window's first paint is not part of the job.
  QEventLoop settle;
  QTimer::singleShot(200, &settle, &QEventLoop::quit);
  settle.exec();

  TWindowRun run;
  QElapsedTimer sinceLastTurn;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    run.LongestStallMs = std::max(run.LongestStallMs, sinceLastTurn.nsecsElapsed() / 1e6);
    sinceLastTurn.restart();
  });
  const auto start = TClock::now();
  sinceLastTurn.start();
  if (WatchStalls) ticker.start();
  form.TabSheet1->ResizeButton1->Click();
  form.WaitForJob();
  run.Seconds = Since(start);
  ticker.stop();
  if (!form.ErrorLog().empty()) std::fprintf(stderr, "the window's job logged errors\n");
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  UseWindowFont();
  InitImageLibrary();
  int count = 24, runs = 3;
  std::string keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--count")
      count = std::atoi(argv[i + 1]);
    else if (opt == "--runs")
      runs = std::atoi(argv[i + 1]);
    else if (opt == "--keep")
      keep = argv[i + 1];
  }
  const std::string base =
      keep.empty() ? (std::filesystem::temp_directory_path() / "pictrim-bench").string() : keep;
  const std::string source = base + "/camera/";
  std::printf("generating %d camera JPEGs in %s ...\n", count, source.c_str());
  bench::MakeCameraTree(source, count);

  std::vector<double> headless, window, stalls;
  for (int r = 0; r < runs; ++r) {
    // Alternating which goes first evens out caches and neighbours' load.
    int headlessCopies = 0;
    if (r % 2 == 0) {
      headless.push_back(HeadlessRun(source));
      headlessCopies = Copies(source);
    }
    window.push_back(WindowRun(source, false).Seconds);
    const int windowCopies = Copies(source);
    if (r % 2 == 1) {
      headless.push_back(HeadlessRun(source));
      headlessCopies = Copies(source);
    }
    if (headlessCopies != count || windowCopies != count)
      std::fprintf(stderr, "copies: headless %d, window %d of %d\n", headlessCopies, windowCopies,
                   count);
    stalls.push_back(WindowRun(source, true).LongestStallMs);
    std::printf("run %d: headless %.2f s, window with previews %.2f s, longest GUI stall %.1f ms\n",
                r + 1, headless.back(), window.back(), stalls.back());
  }
  std::printf(
      "median: headless %.2f s, window %.2f s, ratio %.3f; longest GUI stall %.1f ms "
      "(worst %.1f ms)\n",
      Median(headless), Median(window), Median(window) / Median(headless), Median(stalls),
      *std::max_element(stalls.begin(), stalls.end()));
  RemoveOutput(source);
  if (keep.empty()) std::filesystem::remove_all(base);
  return 0;
}
