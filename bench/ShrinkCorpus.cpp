// Runs the file-size batch once over a folder and tells, per copy, the
// trials of its search and where it ended: the widths tried, the final
// width and size, and whether it is within the tolerance above the target.
//
//   bench_shrink_corpus FOLDER --kb N [--threads T] [--full-master] [--strict]
//                       [--quality Q] [--camera N]
//
// Prints one line per copy ("file <name> trials <n> widths <a,b,..> width
// <w> bytes <s> within <0|1>") and a summary line. --full-master makes the
// trials of JPEG sources from the full-size picture instead of the reduced
// decode, so that the two can be compared. --strict and --quality are the
// job's choices; --camera N first writes N camera-sized photographs (12 and
// 24 megapixels) into FOLDER unless they are there.
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "util/SystemUtils.h"

namespace {

struct TCopy {
  std::vector<std::string> Widths;
};

// "IMG_0001.jpg  No 3 - test Size:  1200 x 900" gives the name and 1200.
bool ParseTrial(const std::string& Text, std::string& Name, std::string& Width) {
  const size_t no = Text.find("  No ");
  const size_t size = Text.find(" - test Size:  ");
  if (no == std::string::npos || size == std::string::npos) return false;
  Name = Text.substr(0, no);
  const size_t from = size + 15;
  Width = Text.substr(from, Text.find(' ', from) - from);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_shrink_corpus FOLDER --kb N [--threads T] [--full-master]\n");
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  uint32_t target = 200;
  pictrim::TJobChoices choices;
  for (int i = 2; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--kb" && i + 1 < argc) target = static_cast<uint32_t>(std::atoi(argv[++i]));
    else if (opt == "--threads" && i + 1 < argc) pictrim::BatchThreads = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (opt == "--full-master") pictrim::ShrinkFromReducedMaster = false;
    else if (opt == "--strict") choices.StrictSize = true;
    else if (opt == "--quality" && i + 1 < argc) choices.Quality = std::atoi(argv[++i]);
    else if (opt == "--camera" && i + 1 < argc) pictrim::bench::MakeCameraTree(folder, std::atoi(argv[++i]));
  }

  // Trials by output name, in the order they were announced.
  std::map<std::string, TCopy> copies;
  pictrim::TQueuedBatchTarget window([&copies](const pictrim::TBatchMessage& m) {
    std::string name, width;
    if (m.Message == pictrim::WM_BATCH_STATUS && ParseTrial(m.Text, name, width)) {
      copies[name].Widths.push_back(width);
    }
  });
  pictrim::TErrorLog log;
  const auto start = std::chrono::steady_clock::now();
  pictrim::ConvertPICsWholeTree2(&window, folder, "", "", target, "", 0, 1025, 1026, true, false, log,
                                nullptr, choices);
  window.pump();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const std::string output = folder.substr(0, folder.size() - 1) + "_SIZE" + std::to_string(target) + " kB/";
  int files = 0, within = 0, atOrBelow = 0, trials = 0, maxTrials = 0;
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(output)) {
    if (entry.is_regular_file()) paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    const std::string name = std::filesystem::path(path).filename().string();
    const int64_t size = pictrim::GetFileSizeByName(path);
    const int64_t goal = int64_t{target} * 1024;
    const bool ok = size < goal + std::max<int64_t>(size / 100, 1024);
    pictrim::TJpegImage jpeg;
    jpeg.LoadFromFile(path);
    const TCopy& copy = copies[name];
    std::string widths;
    for (const std::string& w : copy.Widths) widths += (widths.empty() ? "" : ",") + w;
    std::printf("file %s trials %zu widths %s width %u bytes %lld within %d\n", name.c_str(),
                copy.Widths.size(), widths.empty() ? "-" : widths.c_str(), jpeg.Width(),
                static_cast<long long>(size), ok ? 1 : 0);
    ++files;
    within += ok;
    atOrBelow += size <= goal;
    trials += static_cast<int>(copy.Widths.size());
    maxTrials = std::max(maxTrials, static_cast<int>(copy.Widths.size()));
  }
  std::printf("summary kb %u files %d within %d at_or_below %d mean_trials %.2f max_trials %d seconds %.2f\n",
              target, files, within, atOrBelow, files ? double(trials) / files : 0.0, maxTrials, seconds);
  for (const auto& line : log) std::printf("log: %s", line.c_str());
  return 0;
}
