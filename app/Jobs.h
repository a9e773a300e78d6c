// The jobs a command line starts without a window: the unattended BMP and
// JPEG batches, the resize, file-size and renaming jobs with the parameters
// the main window hands them, and the metadata listing of single files.
#pragma once

#include <iosfwd>
#include <string>

#include "app/CommandLine.h"
#include "app/HeadlessReport.h"

namespace pictrim {

// Runs Command (any kind but Window, Help, Version and Wrong), reporting
// progress, messages and error lines to Report. Out receives the output
// folder of a batch and the listings of "info"; Err the one-line complaints
// about missing folders and refused batches. Returns the exit status.
int RunJob(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
           std::ostream& Err);

// The two batches of the unattended run (Command's source, output folder,
// edge and overwrite switch), reporting to Target and adding to Account.
// Their results.
int RunBmpBatch(const TCommandLine& Command, TBatchTarget& Target, TErrorLog& ErrorLog,
                TJobAccount& Account);
int RunJpegBatch(const TCommandLine& Command, TBatchTarget& Target, TErrorLog& ErrorLog,
                 TJobAccount& Account);

// The one-line complaint about a folder that is missing or is a file; false
// when Folder is no folder.
bool CheckFolder(const std::string& Folder, std::ostream& Err);

// The end of an unattended run once its error lines are out: the refusals of
// its two batches (their results Bmp and Jpeg) and the account on Err, where
// the copies went on Out. Returns the run's exit status.
int FinishUnattended(const TCommandLine& Command, int Bmp, int Jpeg, const TErrorLog& ErrorLog,
                     const TJobAccount& Account, std::ostream& Out, std::ostream& Err);

// The account's lines on Err; OverwriteHint names what replaces existing copies.
void PrintAccount(const TJobAccount& Account, const std::string& OverwriteHint, std::ostream& Err);

// The metadata of one file as text: its EXIF listing, its maker-note listing
// and its IPTC entries, each under a heading, or why nothing was read.
std::string MetadataText(const std::string& FileName);

}  // namespace pictrim
