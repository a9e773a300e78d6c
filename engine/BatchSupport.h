// Pieces the batches share: output folder and path derivation, file tests
// and the closing notifications of a run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/BatchTarget.h"

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

// The source folder without its closing delimiter, to which an output
// folder's suffix is appended; the root folder keeps it.
std::string OutputBase(const std::string& SourceFolder);

// A listed path relative to the source folder it was listed from.
std::string RelativePath(const std::string& Entry, const std::string& SourceFolder);

// Sets the closing status text (cancelled, or done for SourceFolder), posts
// it and then the final progress notification.
void FinishBatch(TBatchTarget* Window, const std::string& SourceFolder, int64_t Index);

}  // namespace pictrim::batch
