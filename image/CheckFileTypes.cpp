#include "image/CheckFileTypes.h"

#include <cstdio>
#include <memory>

#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SourceFile.h"

namespace pictrim {
namespace {

// Bytes the BMP check looks at: "BM", the file size, the first reserved field.
constexpr size_t BmpHeadBytes = 8;
// Room for a frame header from its marker up to the height: FF Cn, the
// segment length, the sample precision and the two height bytes.
constexpr uint64_t FrameHeaderBytes = 7;

// A source file read at chosen positions (opened without blocking, regular
// files only). Reads past the end are range errors.
class TProbeFile {
 public:
  explicit TProbeFile(const std::string& FileName)
      : File_(std::make_unique<TSourceFile>(FileName)) {}

  uint64_t Size() const { return File_->Size(); }
  uint64_t Position() const { return Position_; }
  void Close() { File_.reset(); }

  void Seek(uint64_t Position) {
    if (Position > Size()) throw ERangeError("seek past the end of the file");
    Position_ = Position;
  }

  // Reads up to Count bytes; returns how many were there.
  size_t ReadAvailable(uint8_t* Buffer, size_t Count) {
    const size_t got = File_->ReadAt(Position_, Buffer, Count);
    Position_ += got;
    return got;
  }

  uint8_t ReadByte() {
    uint8_t byte = 0;
    if (ReadAvailable(&byte, 1) != 1) throw ERangeError("read past the end of the file");
    return byte;
  }

  uint16_t ReadBigEndian16() {
    const uint8_t high = ReadByte();
    return static_cast<uint16_t>(high << 8 | ReadByte());
  }

 private:
  std::unique_ptr<TSourceFile> File_;
  uint64_t Position_ = 0;
};

bool IsFrameHeaderCode(uint8_t Code) {
  return Code == 0xC0 || Code == 0xC1 || Code == 0xC2;
}

// The two marker bytes as the messages show them: B * 256 + A in upper-case
// hexadecimal, at least two digits (FF DA shows as DAFF).
std::string MarkerCodeText(uint8_t A, uint8_t B) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(B) << 8 | A);
  return text;
}

// Walks the marker segments behind SOI up to the frame header and reads the
// height there. False when the chain ends before a frame header.
bool WalkToFrameHeader(TProbeFile& File) {
  for (;;) {
    const uint64_t markerAt = File.Position();
    const uint8_t a = File.ReadByte();
    const uint8_t b = File.ReadByte();
    if (a == 0xFF && IsFrameHeaderCode(b)) break;
    if (a != 0xFF || b == 0xDA) {
      const std::string found = a == 0xFF ? "FOUND StartOfScan = $" : "FOUND RestartMarker = $";
      ShowMessage(found + MarkerCodeText(a, b) + "\r\rat Position = " + std::to_string(markerAt));
      File.Close();
      ShowMessage(ProbeCleanupMessage);
      return false;
    }
    // Every other marker counts as a segment with a length; the length counts
    // its own two bytes. A length below 2 leads back onto the length bytes,
    // which then break the chain, so the walk always ends.
    const uint16_t length = File.ReadBigEndian16();
    const uint64_t next = File.Position() + length - 2;
    // A frame header needs 7 bytes; a file that ends sooner holds none.
    if (next > File.Size() || File.Size() - next < FrameHeaderBytes) return false;
    File.Seek(next);
  }
  File.Seek(File.Position() + 3);  // segment length and sample precision
  const uint16_t height = File.ReadBigEndian16();
  File.ReadBigEndian16();  // the width, not needed
  return height > 1;
}

}  // namespace

void CheckFileType(const std::string& FileName, ValidationInfoStruct& Info) {
  Info.FileIsValid = false;
  const std::string name = ExtractFileName(FileName);
  const size_t dot = name.rfind('.');
  const std::string extension =
      dot == std::string::npos ? std::string() : LowerCase(name.substr(dot + 1));
  if (extension == "jpg" || extension == "jpeg" || extension == "jpe" || extension == "jfif" ||
      extension == "jif") {
    get_jpeg_size(FileName, Info);
  } else if (extension == "bmp") {
    CheckBmpHeader(FileName, Info);
  }
}

void get_jpeg_size(const std::string& FileName, ValidationInfoStruct& Info) {
  Info.Checked = true;
  Info.FileIsValid = false;
  Info.HeaderRead = true;
  TProbeFile file(FileName);
  uint8_t start[2] = {};
  if (file.ReadAvailable(start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) return;
  try {
    Info.FileIsValid = WalkToFrameHeader(file);
  } catch (const std::exception&) {
    file.Close();
    ShowMessage(ProbeExceptionMessage);
  }
}

void CheckBmpHeader(const std::string& FileName, ValidationInfoStruct& Info) {
  std::vector<uint8_t> head;
  ReadFileHead(FileName, head, BmpHeadBytes - 1);
  Info.Checked = true;
  Info.FileIsValid = false;
  Info.HeaderRead = true;
  Info.FileIsValid = head.size() >= BmpHeadBytes && head[0] == 'B' && head[1] == 'M' &&
                     head[6] == 0 && head[7] == 0;
}

int ReadFileHead(const std::string& FileName, std::vector<uint8_t>& Buffer, size_t Count) {
  TProbeFile file(FileName);
  Buffer.assign(Count + 1, 0);
  Buffer.resize(file.ReadAvailable(Buffer.data(), Buffer.size()));
  return 0;
}

}  // namespace pictrim
