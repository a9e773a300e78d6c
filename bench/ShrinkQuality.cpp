// Measures the file-size batch over generated photographs of several sizes
// and contents: how many copies end at or below the target, how many within
// the tolerance above it, how many trials the search needs, and the time per
// file.
//
//   bench_shrink [--keep DIR]
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "engine/Resize.h"
#include "util/SystemUtils.h"

namespace {

struct TTally {
  int Files = 0;
  int AtOrBelow = 0;
  int WithinTolerance = 0;
  int Above = 0;
  int Trials = 0;
  double Seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  std::string base = (std::filesystem::temp_directory_path() / "pictrim-shrink-bench").string();
  if (argc == 3 && std::string(argv[1]) == "--keep") base = argv[2];
  const std::string source = base + "/photos/";
  const std::vector<pictrim::bench::TBenchPicture> sizes = {
      {640, 480}, {480, 640}, {1024, 768}, {1600, 1200}, {1200, 1600}, {2048, 1536}, {3000, 2000}, {2000, 3000}};
  std::printf("generating %zu photographs in %s ...\n", sizes.size(), source.c_str());
  pictrim::bench::MakePhotoTree(source, sizes);

  std::printf("%8s %6s %10s %12s %6s %12s %12s\n", "target", "files", "<=target", "within tol",
              "above", "mean trials", "s per file");
  for (const uint32_t target : {200u, 100u, 50u, 20u, 10u}) {
    TTally tally;
    pictrim::TQueuedBatchTarget window([&tally](const pictrim::TBatchMessage& m) {
      if (m.Message == pictrim::WM_BATCH_STATUS && m.Text.find(" - test Size:  ") != std::string::npos) {
        ++tally.Trials;
      }
    });
    pictrim::TErrorLog log;
    const auto start = std::chrono::steady_clock::now();
    pictrim::ConvertPICsWholeTree2(&window, source, "", "", target, "", 0, 1025, 1026, true, false, log);
    window.pump();
    tally.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string output = base + "/photos_SIZE" + std::to_string(target) + " kB/";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(output)) {
      if (!entry.is_regular_file()) continue;
      const int64_t size = pictrim::GetFileSizeByName(entry.path().string());
      const int64_t goal = int64_t{target} * 1024;
      const int64_t tolerance = std::max<int64_t>(size / 100, 1024);
      ++tally.Files;
      if (size <= goal) ++tally.AtOrBelow;
      else if (size - goal < tolerance) ++tally.WithinTolerance;
      else ++tally.Above;
    }
    std::printf("%6u kB %6d %10d %12d %6d %12.2f %12.3f\n", target, tally.Files, tally.AtOrBelow,
                tally.WithinTolerance, tally.Above,
                tally.Files ? double(tally.Trials) / tally.Files : 0.0,
                tally.Files ? tally.Seconds / tally.Files : 0.0);
    for (const auto& line : log) std::printf("  log: %s", line.c_str());
  }
  if (argc != 3) std::filesystem::remove_all(base);
  return 0;
}
