// The JPEG section reader and the writer of a new JPEG that carries a
// source's metadata segments.
#include "metadata/Exif.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "image/HeifFormat.h"
#include "metadata/ColourProfile.h"
#include "metadata/Iptc.h"
#include "metadata/Xmp.h"
#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreStr.h"
#include "util/SourceFile.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

constexpr int MarkerApp0 = 224;
constexpr int MarkerApp1 = 225;
constexpr int MarkerApp2 = 226;
constexpr int MarkerApp13 = 237;
constexpr int MarkerCom = 254;
constexpr int MarkerEoi = 217;
constexpr int MarkerSos = 218;

// The header of a picture without one of its own: JFIF 1.02, 300 x 300 dpi,
// no thumbnail.
constexpr uint8_t JfifHeader[] = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00,
                                  0x01, 0x02, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};

// The extension of a file name with its dot, lower case ("" without one).
std::string FileExtension(const std::string& FileName) {
  const std::string name = ExtractFileName(FileName);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : LowerCase(name.substr(dot));
}

void AppendSection(TBytes& Out, int Marker, const TBytes& Data) {
  Out.push_back(0xFF);
  Out.push_back(static_cast<uint8_t>(Marker));
  Out.insert(Out.end(), Data.begin(), Data.end());
}

void AppendSection(TBytes& Out, const tSection& Section) {
  AppendSection(Out, Section.Marker, Section.Data);
}

void AppendSectionList(TBytes& Out, const std::vector<tSection>& Sections) {
  for (const tSection& section : Sections) AppendSection(Out, section);
}

// An XMP segment, with the stored pixel size brought to Width x Height when
// Adjust is set.
void AppendXmpSection(TBytes& Out, const tSection& Section, bool Adjust, int64_t Width,
                      int64_t Height) {
  if (Adjust) {
    AppendSection(Out, Section.Marker, XmpWithDimensions(Section.Data, Width, Height));
  } else {
    AppendSection(Out, Section);
  }
}

// Reads bytes held in memory through the stream interface of the scanner.
class TByteBuffer : public std::streambuf {
 public:
  explicit TByteBuffer(const TBytes& Bytes) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(Bytes.data()));
    setg(begin, begin, begin + Bytes.size());
  }
};

class TByteStream : private TByteBuffer, public std::istream {
 public:
  explicit TByteStream(const TBytes& Bytes) : TByteBuffer(Bytes), std::istream(this) {}
};

// Offset behind the encoder's own leading APP0, APP1, APP2, APP13 and COM
// segments (looked for in this order, each once, except that every APP2 of a
// run is passed: a colour profile the encoder wrote would stand beside the
// source's) of an encoded JPEG.
size_t EncoderHeaderEnd(const TBytes& Encoded) {
  size_t offset = 2;
  for (const int marker : {MarkerApp0, MarkerApp1, MarkerApp2, MarkerApp13, MarkerCom}) {
    while (Encoded.size() - offset >= 4 && Encoded[offset + 1] == marker) {
      const size_t length = size_t{Encoded[offset + 2]} << 8 | Encoded[offset + 3];
      if (length + 2 > Encoded.size() - offset) return offset;
      offset += length + 2;
      if (marker != MarkerApp2) break;
    }
  }
  return offset;
}

}  // namespace

TMetadata::TMetadata(int ListMode) : ListMode_(ListMode) {
  Reset();
}

TMetadata::~TMetadata() = default;

void TMetadata::Reset() {
  SectionCount_ = 0;
  ExifSection_ = IptcSection_ = CommentSection_ = App0Section_ = 0;
  ExifFromTiff_ = false;
  XmpPlace_ = TXmpPlace::None;
  ExtendedXmp_.clear();
  IccSegments_.clear();
  SourceName_.clear();
  SourceTime_ = TFileTime();
  SourceSize_ = 0;
  ErrorText_.clear();
  ExifInfo_.reset();
  IptcInfo_.reset();
  BigEndian_ = false;
}

const tSection* TMetadata::SlotOrNull(int Number) const {
  return Number == 0 ? nullptr : &Sections_.at(static_cast<size_t>(Number - 1));
}

bool TMetadata::HasMetadata() const {
  return ExifSection_ != 0 || CommentSection_ != 0 || IptcSection_ != 0 || HasColourProfile() ||
         HasXmp();
}

const tSection* TMetadata::XmpSection() const {
  switch (XmpPlace_) {
    case TXmpPlace::OwnSegment:
      return &Xmp_;
    case TXmpPlace::ExifSlot:
      return ExifSection();
    default:
      return nullptr;
  }
}

TBytes TMetadata::ColourProfile() const {
  return JoinIccChunks(IccSegments_);
}

std::string TMetadata::ColourProfileDescription() const {
  return HasColourProfile() ? IccDescription(ColourProfile()) : "";
}

std::string TMetadata::ExifListing() const {
  return ExifInfo_ ? ExifInfo_->Listing() : "";
}

std::string TMetadata::MakerNoteListing() const {
  return ExifInfo_ ? ExifInfo_->MakerListing() : "";
}

std::string TMetadata::IptcListing() const {
  if (IptcSection_ == 0) return "";
  TIptcData record(*this);
  record.ReadSection();
  return record.Listing();
}

// ---------------------------------------------------------------------------
// Reading

bool TMetadata::ReadMetadata(const std::string& FileName) {
  return ReadFrom(FileName, nullptr);
}

bool TMetadata::ReadMetadataFromBytes(const std::string& FileName, const TBytes& Bytes) {
  return ReadFrom(FileName, &Bytes);
}

bool TMetadata::ReadHasMetadataFromBytes(const std::string& FileName, const TBytes& Bytes) {
  ReadMetadataFromBytes(FileName, Bytes);
  return HasMetadata();
}

bool TMetadata::ReadFrom(const std::string& FileName, const TBytes* Bytes) {
  Reset();
  std::error_code error;
  if (!std::filesystem::is_regular_file(FileName, error)) return false;
  try {
    ReadFileInfo(FileName);
    ErrorText_ = "Not an EXIF file";
    const std::string extension = FileExtension(FileName);
    bool found = false;
    if (extension == ".jpg" || extension == ".jpeg" || extension == ".jpe") {
      found = Bytes != nullptr ? ReadJpegBytes(*Bytes) : ReadJpegFile(FileName);
    } else if (extension == ".tif" || extension == ".tiff" || extension == ".nef") {
      found = ReadTiffFile(FileName);
    } else if (HasHeifExtension(FileName) || StartsAsHeif(FileName)) {
      found = ReadHeifFile(FileName);
    }
    if (found) ErrorText_ = "<none>";
    return found;
  } catch (...) {
    ErrorText_ = "Illegal Exif construction";
    return false;
  }
}

bool TMetadata::ReadHasMetadata(const std::string& FileName) {
  ReadMetadata(FileName);
  return HasMetadata();
}

void TMetadata::ReadFileInfo(const std::string& FileName) {
  SourceName_ = FileName;
  SourceTime_ = GetFileModTime(FileName).value_or(TFileTime());
  std::error_code error;
  const auto size = std::filesystem::file_size(FileName, error);
  SourceSize_ = error ? 0 : static_cast<int64_t>(size);
}

bool TMetadata::ReadJpegFile(const std::string& FileName) {
  TiffSource_ = false;
  TSourceStream in(FileName);
  return ScanJpeg(in);
}

bool TMetadata::ReadJpegBytes(const TBytes& Bytes) {
  TiffSource_ = false;
  TByteStream in(Bytes);
  return ScanJpeg(in);
}

// The scan; a failure keeps what was found before it. The colour profile and
// the XMP extension are settled afterwards.
bool TMetadata::ScanJpeg(std::istream& In) {
  bool found = false;
  try {
    found = ScanJpegSections(In);
  } catch (...) {
    found = false;
  }
  SettleCarriedSegments();
  return found && HasMetadata();
}

// An APP2 segment of the colour profile is taken out of its slot (which the
// next segment reuses) into the profile's own list; true when it was.
bool TMetadata::KeepProfileSegment(tSection& Slot) {
  if (Slot.Marker != MarkerApp2 || !IsIccSegment(Slot.Data)) return false;
  // One chunk more than a profile can have marks the set as broken.
  if (IccSegments_.size() <= MaxIccChunks) IccSegments_.push_back(std::move(Slot));
  --SectionCount_;
  return true;
}

// An APP1 segment that does not become the EXIF section: the first XMP
// packet and the pieces of an extension are kept, everything else dropped.
void TMetadata::KeepXmpSegment(tSection& Slot) {
  if (XmpPlace_ == TXmpPlace::None && IsXmpSegment(Slot.Data)) {
    Xmp_ = std::move(Slot);
    XmpPlace_ = TXmpPlace::OwnSegment;
  } else if (IsExtendedXmpSegment(Slot.Data) && ExtendedXmp_.size() < MaxExtendedXmpSegments) {
    ExtendedXmp_.push_back(std::move(Slot));
  }
}

// After a scan: a colour profile that is not a complete set and an extension
// that is incomplete or not named by the packet are left out.
void TMetadata::SettleCarriedSegments() {
  if (!IsCompleteIccSet(IccSegments_)) IccSegments_.clear();
  const tSection* xmp = XmpSection();
  ExtendedXmp_ = xmp != nullptr ? CompleteExtendedXmp(xmp->Data, ExtendedXmp_)
                                : std::vector<tSection>{};
}

bool TMetadata::ScanJpegSections(std::istream& In) {
  if (In.get() != 0xFF || In.get() != 0xD8) return false;
  SectionCount_ = 0;
  while (SectionCount_ < MaxSections) {
    // Fill bytes 0xFF are skipped; the first other byte is the marker. The
    // end of the file counts as the end of the picture.
    int marker;
    do {
      marker = In.get();
      if (marker == std::char_traits<char>::eof()) return HasMetadata();
    } while (marker == 0xFF);
    ++SectionCount_;
    tSection& slot = Sections_[static_cast<size_t>(SectionCount_ - 1)];
    const int hi = In.get();
    const int lo = In.get();
    if (lo == std::char_traits<char>::eof()) {
      --SectionCount_;
      return HasMetadata();
    }
    const int length = hi << 8 | lo;
    slot.Marker = marker;
    slot.Size = length;
    if (length < 2) throw ERangeError("segment length " + std::to_string(length));
    slot.Data.assign(static_cast<size_t>(length), 0);
    slot.Data[0] = static_cast<uint8_t>(hi);
    slot.Data[1] = static_cast<uint8_t>(lo);
    if (length == 2) continue;  // an empty segment takes a slot and nothing else
    In.read(reinterpret_cast<char*>(slot.Data.data() + 2), length - 2);
    if (In.gcount() != length - 2) {
      // Cut short by the end of the file: not kept.
      --SectionCount_;
      return HasMetadata();
    }
    if (KeepProfileSegment(slot)) continue;
    // A file whose first four segments hold no metadata is given up.
    if (SectionCount_ == 5 && !HasMetadata()) return false;
    switch (marker) {
      case MarkerEoi:
      case MarkerSos:
        return HasMetadata();
      case MarkerApp0:
        App0Section_ = SectionCount_;
        break;
      case MarkerApp1:
        // Only the first APP1 among the first five segments is the EXIF
        // section (whatever it holds); later ones give their slot back.
        if (SectionCount_ > 5 || ExifSection_ != 0) {
          KeepXmpSegment(slot);
          --SectionCount_;
          break;
        }
        ExifSection_ = SectionCount_;
        if (IsXmpSegment(slot.Data)) XmpPlace_ = TXmpPlace::ExifSlot;
        ExifInfo_ = std::make_unique<TExifInfo>(*this, ListMode_);
        Buffer_ = slot.Data;
        ParseExifSection();
        break;
      case MarkerApp13:
        // The first APP13 gets the IPTC object, which parses it when asked.
        if (IptcSection_ == 0) {
          IptcSection_ = SectionCount_;
          IptcInfo_ = std::make_unique<TIptcData>(*this);
        }
        break;
      case MarkerCom:
        CommentSection_ = SectionCount_;
        break;
      default:
        break;
    }
  }
  return HasMetadata();
}

void TMetadata::ParseExifSection() {
  if (!ExifInfo_) ExifInfo_ = std::make_unique<TExifInfo>(*this, ListMode_);
  // Bytes 1-2 are the length, 3-8 the signature, 9 on the TIFF block.
  static constexpr uint8_t signature[] = {'E', 'x', 'i', 'f', 0};
  if (Buffer_.size() < 7 ||
      !std::equal(std::begin(signature), std::end(signature), Buffer_.begin() + 2)) {
    ErrorText_ = "Incorrect Exif header";
    return;
  }
  const auto byteOrder = [this](char Mark) {
    return Buffer_.size() >= 10 && Buffer_[8] == Mark && Buffer_[9] == Mark;
  };
  if (byteOrder('I')) {
    BigEndian_ = false;
  } else if (byteOrder('M')) {
    BigEndian_ = true;
  } else {
    ErrorText_ = "Invalid Exif alignment marker";
    return;
  }
  ExifInfo_->Listing_.clear();
  ExifInfo_->Buffer_ = Buffer_;
  ExifInfo_->BigEndian_ = BigEndian_;
  const int32_t firstDirectory = Read32(13);
  if (firstDirectory < 0) throw ERangeError("negative directory offset");
  // An offset of 0 is read as the usual 8.
  const int64_t start = firstDirectory == 0 ? 17 : int64_t{firstDirectory} + 9;
  const int32_t size = Sections_[static_cast<size_t>(ExifSection_ - 1)].Size;
  ExifInfo_->ReadDirectory(start, 9, size - 6, TDirectoryKind::Main);
  if (!ErrorText_.empty()) ExifInfo_->AddFocalLength35mm();
}

bool TMetadata::ReadTiffFile(const std::string& FileName) {
  TiffSource_ = false;
  TSourceStream in(FileName);
  TiffSource_ = true;
  bool found = false;
  try {
    found = ScanTiffFile(in);
  } catch (...) {
    found = false;
  }
  TiffSource_ = false;
  return found;
}

bool TMetadata::ScanTiffFile(std::istream& In) {
  char order[8];
  if (!In.read(order, 8)) return false;  // byte order and the rest of the header
  const bool motorola = order[0] == 'M' && order[1] == 'M';
  if (!motorola && !(order[0] == 'I' && order[1] == 'I')) return false;
  // The first directory is taken to begin at file offset 8: buffer position
  // 1 is offset 8, so an offset X is position X - 7. A short file leaves zeros.
  tSection& slot = Sections_[0];
  slot.Data.assign(TiffReadSize, 0);
  In.read(reinterpret_cast<char*>(slot.Data.data()), TiffReadSize);
  slot.Marker = 0;
  slot.Size = TiffReadSize;
  SectionCount_ = 1;
  ExifSection_ = 1;
  ExifFromTiff_ = true;
  ExifInfo_ = std::make_unique<TExifInfo>(*this, ListMode_);
  ExifInfo_->SetTiffSource(true);
  ExifInfo_->Buffer_ = slot.Data;
  ExifInfo_->BigEndian_ = motorola;
  Buffer_ = slot.Data;
  BigEndian_ = motorola;
  ExifInfo_->ReadDirectory(1, -7, TiffReadSize, TDirectoryKind::Main);
  ExifInfo_->AddFocalLength35mm();
  return true;
}

// ---------------------------------------------------------------------------
// Writing

int TMetadata::AppendHeaderSections(TBytes& Out) const {
  return AppendSections(Out, false, 0, 0);
}

int TMetadata::AppendSections(TBytes& Out, bool AdjustXmp, int64_t Width, int64_t Height) const {
  const size_t before = Out.size();
  Out.push_back(0xFF);
  Out.push_back(0xD8);
  // A block taken from a TIFF-family file is no JPEG segment and stays out.
  if (ExifSection_ != 0 && !ExifFromTiff_) {
    AppendXmpSection(Out, *ExifSection(), AdjustXmp && XmpPlace_ == TXmpPlace::ExifSlot, Width,
                     Height);
  } else if (App0Section_ != 0) {
    AppendSection(Out, *App0Section());
  } else {
    Out.insert(Out.end(), std::begin(JfifHeader), std::end(JfifHeader));
  }
  if (XmpPlace_ == TXmpPlace::OwnSegment) AppendXmpSection(Out, Xmp_, AdjustXmp, Width, Height);
  AppendSectionList(Out, ExtendedXmp_);
  AppendSectionList(Out, IccSegments_);
  if (IptcSection_ != 0) AppendSection(Out, *IptcSection());
  if (CommentSection_ != 0) AppendSection(Out, *CommentSection());
  return static_cast<int>(Out.size() - before - 2);
}

int TMetadata::WriteHeaderSections(std::ostream& Out) const {
  TBytes bytes;
  const int written = AppendHeaderSections(bytes);
  Out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!Out) throw EInOutError("Cannot write the metadata segments");
  return written;
}

TBytes TMetadata::JpegWithMetadata(const TJpegImage& Image, bool AdjustSize) {
  if (AdjustSize && ExifInfo_) {
    ExifInfo_->UpdateDimensions(static_cast<int32_t>(Image.Height()),
                                static_cast<int32_t>(Image.Width()));
  }
  const TBytes& encoded = Image.EncodedData();
  if (encoded.size() < 2 || encoded[0] != 0xFF || encoded[1] != 0xD8) {
    throw EJpegError("The encoded picture does not begin with SOI");
  }
  TBytes out;
  out.reserve(encoded.size() + 65536);
  AppendSections(out, AdjustSize, Image.Width(), Image.Height());
  out.insert(out.end(), encoded.begin() + static_cast<std::ptrdiff_t>(EncoderHeaderEnd(encoded)),
             encoded.end());
  return out;
}

void TMetadata::WriteJpegWithMetadata(const TJpegImage& Image, const std::string& DestName,
                                      bool AdjustSize) {
  // The whole file is built in memory and written at once, so a failure
  // never leaves a partly written copy.
  const TBytes out = JpegWithMetadata(Image, AdjustSize);
  WriteFileBytes(DestName, out.data(), out.size());
}

void TMetadata::SaveJpegKeepingMetadata(const TJpegImage& Image, const std::string& DestName,
                                        bool AdjustSize, const std::string& SourceName) {
  const std::string& source = SourceName.empty() ? DestName : SourceName;
  if (ReadHasMetadata(source)) {
    WriteJpegWithMetadata(Image, DestName, AdjustSize);
  } else {
    Image.SaveToFile(DestName);
  }
}

}  // namespace pictrim
