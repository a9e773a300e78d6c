#include "engine/JobAccount.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "util/Texts.h"

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

// The text for a count of one or the text for many, with the count in it.
std::string Count(int64_t N, TTextId One, TTextId Many) {
  return Text(N == 1 ? One : Many, {std::to_string(N)});
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
  if (Account.Damaged > 0)
    lines.push_back(
        Count(Account.Damaged, TTextId::AccountDamagedOne, TTextId::AccountDamagedMany));
  if (Account.Existing > 0) {
    const bool one = Account.Existing == 1;
    std::string line =
        Count(Account.Existing, TTextId::AccountExistingOne, TTextId::AccountExistingMany);
    if (!OverwriteHint.empty())
      line += ' ' + Text(one ? TTextId::AccountReplacesOne : TTextId::AccountReplacesMany,
                         {OverwriteHint});
    lines.push_back(line);
  }
  if (Account.NotPictures > 0)
    lines.push_back(
        Count(Account.NotPictures, TTextId::AccountNotPictureOne, TTextId::AccountNotPictureMany));
  if (Account.NotReached > 0)
    lines.push_back(
        Count(Account.NotReached, TTextId::AccountNotReachedOne, TTextId::AccountNotReachedMany));
  lines.push_back(AccountSummary(Account));
  return lines;
}

std::string AccountSummary(const TJobAccount& Account) {
  return Text(TTextId::AccountSummary,
              {std::to_string(Account.Written), std::to_string(Account.Skipped()),
               std::to_string(Account.Failed)});
}

std::string AccountSummaryInSight(const TJobAccount& Account) {
  if (Account.Damaged == 0) return AccountSummary(Account);
  return Text(
      Account.Damaged == 1 ? TTextId::AccountSummaryDamagedOne : TTextId::AccountSummaryDamagedMany,
      {std::to_string(Account.Written), std::to_string(Account.Skipped()),
       std::to_string(Account.Failed), std::to_string(Account.Damaged)});
}

bool IsPictureExtension(const std::string& Extension) {
  return std::find(std::begin(PictureExtensions), std::end(PictureExtensions), Extension) !=
         std::end(PictureExtensions);
}

std::string CorruptJpegDamage() {
  return Text(TTextId::ReasonCorruptJpeg);
}

std::string DamagedSourceLine(const std::string& Source, const std::string& Why) {
  return Text(TTextId::LogDamagedSource, {Source, ReasonInUse(Why)});
}

std::string UnreadablePictureLine(const std::string& Source) {
  return Text(TTextId::LogUnreadablePicture, {Source});
}

std::string NameTakenLine(const std::string& Source, const std::string& OutputPath,
                          const std::string& TakenBy) {
  return Text(TTextId::LogNameTaken, {Source, OutputPath, TakenBy});
}

std::string FolderNotMadeLine(const std::string& Source, const std::string& Folder,
                              const std::string& Reason) {
  return Text(TTextId::LogFolderNotMade, {Source, Folder, ReasonOrUnknown(Reason)});
}

std::string NotSavedLine(const std::string& Source) {
  return Text(TTextId::LogNotSaved, {Source});
}

std::string NotWrittenLine(const std::string& Source, const std::string& OutputPath,
                           const std::string& Reason) {
  return Text(TTextId::LogNotWritten, {Source, OutputPath, ReasonOrUnknown(Reason)});
}

std::string AboveTargetLine(const std::string& Source, size_t CopyBytes, uint32_t TargetKB) {
  return Text(TTextId::LogAboveTarget,
              {Source, std::to_string(TargetKB), std::to_string(CopyBytes)});
}

std::string ReasonInUse(const std::string& Reason) {
  static const std::vector<std::string> english = BuiltInTexts(TLanguage::English);
  return Retranslated(Reason, english);
}

std::string LoaderLine(const std::string& Batch, const std::string& Source,
                       const std::string& Reason) {
  if (Reason.empty())
    return "EXCEPTION in " + Batch + " - FBitmap.Load() with  File \"" + Source + "\"";
  return Text(TTextId::LogNotLoadedWhy, {Batch, Source, ReasonInUse(Reason)});
}

std::string ReasonOrUnknown(const std::string& Reason) {
  return Reason.empty() ? Text(TTextId::ReasonUnknown) : Reason;
}

std::string SmallerCopyLine(const std::string& Source, uint32_t Width, uint32_t Height,
                            uint32_t CopyWidth, uint32_t CopyHeight) {
  return Text(TTextId::LogSmallerCopy,
              {Source, std::to_string(Width) + " x " + std::to_string(Height),
               std::to_string(CopyWidth) + " x " + std::to_string(CopyHeight)});
}

}  // namespace pictrim
