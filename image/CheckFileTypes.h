// File type checks for the command-line batches: whether a file really is a
// JPEG or a BMP, decided from its name and its first bytes without decoding
// the picture. For JPEG files the check walks the marker segments up to the
// frame header and takes the picture height from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictrim {

// What a check found. The callers read only FileIsValid.
struct ValidationInfoStruct {
  bool Checked = false;      // set by the JPEG and the BMP check
  bool FileIsValid = false;  // the file passed its check
  bool HeaderRead = false;   // set by the JPEG and the BMP check
  std::string Text;          // never filled
};

// Picks a check by the file name's extension (jpg, jpeg, jpe, jfif, jif: the
// JPEG probe; bmp: the BMP check) and runs it. Any other extension leaves
// FileIsValid false without opening the file. A file that cannot be opened,
// or is no regular file (a FIFO, a device), raises EInOutError; opening
// never waits.
void CheckFileType(const std::string& FileName, ValidationInfoStruct& Info);

// The JPEG probe: valid when the file starts with FF D8 and its marker chain
// reaches a baseline, extended or progressive frame header whose height is
// above 1. A scan before the frame header, a broken marker chain or a read
// past the end of the file shows a message and leaves the file invalid.
void get_jpeg_size(const std::string& FileName, ValidationInfoStruct& Info);

// The BMP check: valid when the file starts with "BM" and the first reserved
// field of the bitmap file header (bytes 6 and 7) is zero.
void CheckBmpHeader(const std::string& FileName, ValidationInfoStruct& Info);

// Reads the first Count + 1 bytes of a file (fewer when the file is shorter)
// into Buffer. Returns 0; raises EInOutError when the file cannot be opened.
int ReadFileHead(const std::string& FileName, std::vector<uint8_t>& Buffer, size_t Count);

// Message texts of the JPEG probe.
inline constexpr const char* ProbeExceptionMessage =
    "Exception in CheckFileTypes / get_jpeg_size()\"";
inline constexpr const char* ProbeCleanupMessage =
    "CheckFileTypes / get_jpeg_size():   CLEANUP - End Of File";

}  // namespace pictrim
