#include "engine/JobAccount.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace pictrim {
namespace {

// Picture formats by extension, camera raws included.
constexpr std::string_view PictureExtensions[] = {
    "3fr",  "ari", "arw", "avif", "bay", "bmp", "cr2",  "cr3",  "crw",  "dcr", "dcs", "dib",
    "dng",  "erf", "exr", "fff",  "gif", "hdr", "heic", "heif", "hif",  "ico", "iiq", "j2k",
    "jfif", "jp2", "jpe", "jpeg", "jpg", "jxl", "k25",  "kdc",  "mef",  "mos", "mrw", "nef",
    "nrw",  "orf", "pbm", "pcx",  "pef", "pgm", "png",  "ppm",  "psd",  "raf", "raw", "rw2",
    "rwl",  "sr2", "srf", "srw",  "tga", "tif", "tiff", "wdp",  "webp", "x3f",
};

// "1 thing" or "N things".
std::string Count(int64_t N, const std::string& One, const std::string& Many) {
  return std::to_string(N) + ' ' + (N == 1 ? One : Many);
}

}  // namespace

TJobAccount& TJobAccount::operator+=(const TJobAccount& Other) {
  Written += Other.Written;
  Damaged += Other.Damaged;
  Existing += Other.Existing;
  NotPictures += Other.NotPictures;
  Failed += Other.Failed;
  NotReached += Other.NotReached;
  return *this;
}

std::vector<std::string> AccountLines(const TJobAccount& Account,
                                      const std::string& OverwriteHint) {
  std::vector<std::string> lines;
  if (Account.Damaged > 0) {
    lines.push_back(Count(Account.Damaged,
                          "written from a damaged source: the copy may be incomplete",
                          "written from damaged sources: the copies may be incomplete"));
  }
  if (Account.Existing > 0) {
    const bool one = Account.Existing == 1;
    std::string line =
        Count(Account.Existing, "skipped: its copy exists", "skipped: their copies exist");
    if (!OverwriteHint.empty())
      line += " (" + OverwriteHint + (one ? " replaces it)" : " replaces them)");
    lines.push_back(line);
  }
  if (Account.NotPictures > 0)
    lines.push_back(Count(Account.NotPictures, "not a picture", "not pictures"));
  if (Account.NotReached > 0) {
    lines.push_back(Count(Account.NotReached, "not done: the job stopped before it",
                          "not done: the job stopped before them"));
  }
  lines.push_back(AccountSummary(Account));
  return lines;
}

std::string AccountSummary(const TJobAccount& Account) {
  return std::to_string(Account.Written) + " written, " + std::to_string(Account.Skipped()) +
         " skipped, " + std::to_string(Account.Failed) + " failed";
}

bool IsPictureExtension(const std::string& Extension) {
  return std::find(std::begin(PictureExtensions), std::end(PictureExtensions), Extension) !=
         std::end(PictureExtensions);
}

std::string CorruptJpegDamage() {
  return "premature end or corrupt data";
}

std::string DamagedSourceLine(const std::string& Source, const std::string& Why) {
  return "File " + Source + " is damaged (" + Why + "): its copy may be incomplete";
}

std::string UnreadablePictureLine(const std::string& Source) {
  return "File " + Source + " got no copy: it cannot be read as a picture";
}

std::string NameTakenLine(const std::string& Source, const std::string& OutputPath,
                          const std::string& TakenBy) {
  return "File " + Source + " got no copy: its copy's name " + OutputPath +
         " is taken by the copy of " + TakenBy;
}

std::string FolderNotMadeLine(const std::string& Folder) {
  return "Folder " + Folder + " could not be created";
}

std::string NotSavedLine(const std::string& Source) {
  return "File " + Source + " got no copy: its picture cannot be saved as a JPEG";
}

std::string NotWrittenLine(const std::string& Source, const std::string& OutputPath) {
  return "File " + Source + " could not be written to " + OutputPath;
}

std::string AboveTargetLine(const std::string& Source, size_t CopyBytes, uint32_t TargetKB) {
  return "File " + Source + " could not get down to " + std::to_string(TargetKB) +
         " kB: its copy has " + std::to_string(CopyBytes) + " bytes";
}

}  // namespace pictrim
