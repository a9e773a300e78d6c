// Measures the resize batch: pictures per second and peak memory over a tree
// of camera-sized JPEGs brought to a longer edge of 1024 pixels.
//
//   bench_resize [--count N] [--runs R] [--threads T] [--keep DIR] [--tree mixed]
//   bench_resize --generate DIR [--count N]   (only writes the tree)
//   bench_resize --run-batch DIR               (one run, used by the others)
//
// With --tree mixed the tree holds 2400 x 1600 photographs as JPEG, PNG,
// TIFF, BMP, GIF and palette PNG instead (the image library's formats).
// The tree is generated at run time into a temporary folder (or DIR, reused
// by later runs). Each run happens in a child process so that its peak
// memory is its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchPictures.h"
#include "engine/Resize.h"

namespace {

struct TRunResult {
  double Seconds = 0;
  long PeakKiB = 0;
};

// One run of the batch, in the process started for it.
int RunBatch(const std::string& Source) {
  pictrim::TErrorLog log;
  const int result =
      pictrim::ConvertPICsWholeTree(nullptr, Source, "", 1024, 1024, "", 0, 1025, 1026, true, log);
  return result == 0 && log.empty() ? 0 : 1;
}

// Runs the batch in a fresh process (this program again, with --run-batch),
// so that its peak memory is its own; the parent reads time and memory.
TRunResult RunOnce(const char* Program, const std::string& Source, unsigned Threads) {
  std::filesystem::remove_all(Source.substr(0, Source.size() - 1) + "_MAXSIZE1024");
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const std::string threads = std::to_string(Threads);
    ::execl(Program, Program, "--threads", threads.c_str(), "--run-batch", Source.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  TRunResult r;
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.PeakKiB = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run failed\n");
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  int count = 24, runs = 3;
  std::string keep, generate, runBatch, tree = "camera";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--count") count = std::atoi(argv[i + 1]);
    else if (opt == "--runs") runs = std::atoi(argv[i + 1]);
    else if (opt == "--keep") keep = argv[i + 1];
    else if (opt == "--generate") generate = argv[i + 1];
    else if (opt == "--run-batch") runBatch = argv[i + 1];
    else if (opt == "--tree") tree = argv[i + 1];
    else if (opt == "--threads") pictrim::BatchThreads = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  if (!runBatch.empty()) return RunBatch(runBatch);
  const auto make = [&](const std::string& Folder) {
    if (tree == "mixed") pictrim::bench::MakeMixedTree(Folder, count);
    else pictrim::bench::MakeCameraTree(Folder, count);
  };
  if (!generate.empty()) {
    make(generate + "/");
    return 0;
  }
  const std::string base = keep.empty()
                               ? (std::filesystem::temp_directory_path() / "pictrim-bench").string()
                               : keep;
  const std::string source = base + "/" + tree + "/";
  std::printf("generating %d %s pictures in %s ...\n", count, tree.c_str(), source.c_str());
  make(source);

  std::vector<double> rates;
  long peak = 0;
  for (int r = 0; r < runs; ++r) {
    const TRunResult result = RunOnce(argv[0], source, pictrim::BatchThreads);
    rates.push_back(count / result.Seconds);
    peak = std::max(peak, result.PeakKiB);
    std::printf("run %d: %.2f s, %.2f pictures/s, peak %.1f MiB\n", r + 1, result.Seconds,
                count / result.Seconds, result.PeakKiB / 1024.0);
  }
  std::sort(rates.begin(), rates.end());
  std::printf("median: %.2f pictures/s (min %.2f, max %.2f), peak memory %.1f MiB\n",
              rates[rates.size() / 2], rates.front(), rates.back(), peak / 1024.0);
  if (keep.empty()) std::filesystem::remove_all(base);
  return 0;
}
