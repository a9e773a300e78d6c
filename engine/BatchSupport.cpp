#include "engine/BatchSupport.h"

#include <filesystem>
#include <system_error>

#include "engine/Resize.h"
#include "platform/Paths.h"
#include "util/MoreStr.h"

namespace pictrim::batch {

bool FileExists(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(Path), ec);
}

std::string OutputBase(const std::string& SourceFolder) {
  if (IsRootFolder(SourceFolder)) return SourceFolder;
  return LeftChars(SourceFolder, SourceFolder.size() - 1);
}

std::string RelativePath(const std::string& Entry, const std::string& SourceFolder) {
  return RightChars(Entry, Entry.size() - SourceFolder.size());
}

void FinishBatch(TBatchTarget* Window, const std::string& SourceFolder, int64_t Index) {
  StatusText = CancelRequested
                   ? std::string("Letze Aktion = Prozess abgebrochen")
                   : "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " + SourceFolder;
  PostStatus(Window, StatusText);
  PostFinished(Window, Index);
}

}  // namespace pictrim::batch
