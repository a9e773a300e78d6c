// The account of a job: what happened to every file it listed (written,
// skipped, failed), counted by the batches so that the command line and the
// window can tell the user the same. The texts a user reads about it, and
// the error-log lines that name files the account counts, are made here and
// nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictrim {

struct TJobAccount {
  int64_t Written = 0;      // copies written
  int64_t Damaged = 0;      // of those, made from a damaged source: may be incomplete
  int64_t Existing = 0;     // skipped: the copy exists and is not to be replaced
  int64_t NotPictures = 0;  // skipped: not a picture (documents, videos, sidecars, ...)
  int64_t Failed = 0;       // no copy because of a problem; the error log says which
  int64_t NotReached = 0;   // listed, but the job stopped before them

  int64_t Skipped() const { return Existing + NotPictures; }
  int64_t Total() const { return Written + Skipped() + Failed + NotReached; }
  TJobAccount& operator+=(const TJobAccount& Other);
  bool operator==(const TJobAccount&) const = default;
};

// The account for the user, in the language in use (util/Texts.h): the lines
// that explain it, then last the line "N written, N skipped, N failed". OverwriteHint names what replaces
// existing copies (e.g. "--overwrite"); empty leaves that out.
std::vector<std::string> AccountLines(const TJobAccount& Account, const std::string& OverwriteHint);
// Only the last of those lines.
std::string AccountSummary(const TJobAccount& Account);
// The line the window keeps in sight: the last line, with the copies made
// from damaged sources counted in it when there are any.
std::string AccountSummaryInSight(const TJobAccount& Account);

// True for the extensions of picture files (JPEG, PNG, GIF, BMP, TIFF, HEIF,
// WebP, camera raws, ...), lower-cased: a file so named that cannot be read
// is a failure, not a file that is no picture.
bool IsPictureExtension(const std::string& Extension);

// Why a JPEG whose decoder warned of its data is named as damaged.
std::string CorruptJpegDamage();

// Error-log lines of the account's files, in the language in use: the file
// first, then what happened to it and why (util/TextTable.h says how to add
// one). A Reason is the system's or the library's own words; an empty one
// says that none was given.
std::string DamagedSourceLine(const std::string& Source, const std::string& Why);
std::string UnreadablePictureLine(const std::string& Source);
std::string NameTakenLine(const std::string& Source, const std::string& OutputPath,
                          const std::string& TakenBy);
std::string FolderNotMadeLine(const std::string& Source, const std::string& Folder,
                              const std::string& Reason);
std::string NotSavedLine(const std::string& Source);
std::string NotWrittenLine(const std::string& Source, const std::string& OutputPath,
                           const std::string& Reason);
std::string AboveTargetLine(const std::string& Source, size_t CopyBytes, uint32_t TargetKB);
// Reason, or the words for a failure whose reason nobody gave.
std::string ReasonOrUnknown(const std::string& Reason);
// A reason the decoders give in English (util/TextTable.h: the "Reason..."
// rows), in the language in use; a library's own words stay as they are.
std::string ReasonInUse(const std::string& Reason);
// The loader's line of a file the image library could not load (the
// wording of batch Batch is kept, the reason follows in brackets).
std::string LoaderLine(const std::string& Batch, const std::string& Source,
                       const std::string& Reason);
// A picture JPEG cannot hold at its own Width x Height: its copy was made
// from CopyWidth x CopyHeight.
std::string SmallerCopyLine(const std::string& Source, uint32_t Width, uint32_t Height,
                            uint32_t CopyWidth, uint32_t CopyHeight);

}  // namespace pictrim
