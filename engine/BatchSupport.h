// Pieces the batches share: output folder and path derivation, file tests
// and the closing notifications of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "platform/BatchTarget.h"
#include "util/ErrorLog.h"
#include "util/OrderedWork.h"
#include "util/SystemUtils.h"

namespace pictrim::batch {

// The closing status text of a cancelled run.
inline constexpr const char* CancelledStatusText = "Letze Aktion = Prozess abgebrochen";

bool FileExists(const std::string& Path);

// True when Path names a folder (a link to one included).
bool IsFolder(const std::string& Path);
// The error line of a file whose output path is taken by a folder.
std::string FolderOutputLine(const std::string& Source, const std::string& OutputPath);

// True when the file starts with the JPEG start-of-image marker (FF D8);
// reads two bytes. Raises EInOutError when the file cannot be opened.
bool StartsAsJpeg(const std::string& Path);

// The line of a file whose own path or whose copy's path is too long for
// the file system; "" when both fit.
std::string OverlongPathLine(const std::string& Source, const std::string& OutputPath);

// The line of a file whose copy's folder could not be made.
std::string FolderNotMadeLine(const std::string& Source, const std::string& Folder);

// True when a copy written to OutputPath would land in the source tree: its
// folder, resolved, lies inside the resolved source folder (a link in the
// output tree may lead there). Such a copy is never written.
bool WritesIntoSourceTree(const std::string& OutputPath, const std::string& SourceFolder);
// The line of such a copy.
std::string IntoSourceTreeLine(const std::string& Source, const std::string& OutputPath);

// The start guard of every batch: true, after telling the user, when the
// output folder (resolved: links, "." and "..") is the source folder or lies
// inside it, where copies could replace or join the sources.
bool RefuseOutputInsideSource(const std::string& SourceFolder, const std::string& OutputFolder);

// Lists the files of the tree as GetFileListEx does; a folder that cannot be
// searched because its path is too long gets a line in ErrorLog.
std::unique_ptr<TFileList> ListSourceTree(const std::string& SourceFolder, const std::string& Masks,
                                          TErrorLog& ErrorLog);

// The source as a JPEG picture read from its file as it is decoded, its
// decodes stopped by a cancel, when the file starts as a JPEG; nothing
// otherwise. Raises EInOutError when the file cannot be opened (or is no
// regular file) and EJpegError as TJpegImage::LoadFromFile does.
std::optional<TJpegImage> OpenJpegSource(const std::string& Path);

// The source folder without its closing delimiter, to which an output
// folder's suffix is appended; the root folder keeps it.
std::string OutputBase(const std::string& SourceFolder);

// A listed path relative to the source folder it was listed from.
std::string RelativePath(const std::string& Entry, const std::string& SourceFolder);

// What the reporting side of the picture batches shares: the window, the
// error log and the count of the copies reported.
class TRunReport {
 public:
  TRunReport(TBatchTarget* Window, size_t Total, TErrorLog& ErrorLog)
      : Window_(Window), ErrorLog_(ErrorLog), Total_(static_cast<int64_t>(Total)) {}

 protected:
  void Log(const std::string& Message) { AddErrorLogEntry(Message, ErrorLog_); }
  void Log(const std::vector<std::string>& Lines) {
    for (const std::string& line : Lines) Log(line);
  }
  // Tells the window of the copy at OutputPath and of the progress, when
  // the copy exists.
  void ReportDone(const std::string& OutputPath);

  TBatchTarget* Window_;

 private:
  TErrorLog& ErrorLog_;
  int64_t Total_;
  int64_t Done_ = 0;
};

// The file loop of the picture batches. The picture work of the entries
// runs on a few threads, one worker each (made by NewWorker), at most one
// entry per thread plus one ahead; Report gets every entry in list order,
// with the means to take its result (Report(Entry, Take)), as a run doing
// one file after the other would. The loop ends when Report returns false or
// a cancel is requested; returns the index at which it ended.
template <typename TEntry, typename TNewWorker, typename TReport>
int64_t RunInListOrder(const std::vector<TEntry>& Entries, TNewWorker NewWorker, TReport Report) {
  using TWorker = typename decltype(NewWorker())::element_type;
  using TResult = decltype(std::declval<TWorker&>().Make(Entries.front()));
  const unsigned threads = BatchThreadCount();
  std::vector<std::unique_ptr<TWorker>> workers;
  for (unsigned w = 0; w < threads; ++w) workers.push_back(NewWorker());
  TOrderedWork<TResult> work(Entries.size(), threads, threads + 1,
                             [&](size_t i, unsigned w) { return workers[w]->Make(Entries[i]); });
  int64_t index = 0;
  for (size_t i = 0; i < Entries.size(); ++i) {
    if (!Report(Entries[i], [&] { return work.Take(i); }) || CancelRequested) break;
    ++index;
  }
  work.Stop();
  return index;
}

// Sets the closing status text (cancelled, or done for SourceFolder), posts
// it and then the final progress notification.
void FinishBatch(TBatchTarget* Window, const std::string& SourceFolder, int64_t Index);

}  // namespace pictrim::batch
