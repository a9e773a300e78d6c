// pictrim-decoder: decodes pictures with the image library (and HEIC, HEIF
// and AVIF files with libheif) on behalf of pictrim, in a process of its
// own, so that a file that makes a loader crash, loop or eat memory costs
// only this process. It talks over its standard input (a socket); its output
// and error streams lead nowhere, so nothing a library prints reaches the
// terminal. It serves one request after the other until its input ends, and
// ends after any request it could not answer with a picture.
//
//   pictrim-decoder --decode MEMORY_LIMIT_BYTES
//
// For tests, PICTRIM_DECODER_MISBEHAVE="crash:a.png,hang:b.tif,memory:c.gif,
// garbage:d.bmp,crashafter:e.png,chatterafter:f.png,spin:g.png,busy:h.png"
// makes it misbehave on purpose for the files so named (crashafter: it
// answers, then crashes before the next request; chatterafter: it answers,
// then writes bytes nobody asked for and waits for the next request; spin:
// it uses a core for ever; busy: it uses a core for 1.5 s, then answers).
#include <malloc.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <FreeImage.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "image/DecodeProtocol.h"
#include "image/DecoderMemory.h"
#include "image/HeifDecode.h"
#include "image/HevcDecoder.h"
#include "image/PictureShrink.h"

namespace {

using namespace pictrim::decoding;

constexpr int Channel = 0;

// The socket to the program, on standard input (blocking).
class TFdChannel : public TByteSource, public TByteSink {
 public:
  bool Read(void* Data, size_t Size) override {
    return TransferAll(static_cast<uint8_t*>(Data), Size,
                       [](uint8_t* At, size_t Left) { return ::read(Channel, At, Left); });
  }
  bool Write(const void* Data, size_t Size) override {
    return TransferAll(static_cast<const uint8_t*>(Data), Size,
                       [](const uint8_t* At, size_t Left) { return ::write(Channel, At, Left); });
  }
};

std::string LibraryMessages;

void CollectMessage(FREE_IMAGE_FORMAT, const char* Text) {
  if (Text == nullptr || LibraryMessages.size() > 1000) return;
  if (!LibraryMessages.empty()) LibraryMessages += "; ";
  LibraryMessages += Text;
}

// No core files, bounded address space, and gone when pictrim is. Few
// allocation arenas: each reserves much address space, which the bound counts.
// The pictures of a photograph's size are kept in the heap and its memory
// is kept for the next file (up to a bound), so that the pages of one file's
// pictures serve the next instead of being handed back and taken anew.
void LimitThisProcess(uint64_t MemoryBytes) {
  ::mallopt(M_ARENA_MAX, 2);
  ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  if (MemoryBytes > 0) {
    const rlimit memory{MemoryBytes, MemoryBytes};
    ::setrlimit(RLIMIT_AS, &memory);
  }
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() == 1) std::_Exit(3);
}

// A build for coverage (scripts/mutation-check.py) writes the counts of
// each request's code at once: the program kills its decoder when it is
// done with it, which leaves no end at which they would be written.
#ifdef PICTRIM_COVERAGE
extern "C" void __gcov_dump();
extern "C" void __gcov_reset();
void WriteCoverage() {
  __gcov_dump();
  __gcov_reset();
}
#else
void WriteCoverage() {}
#endif

// The test switch: the kind of misbehaviour asked for this file name.
std::string MisbehaviourFor(const std::string& Name) {
  const char* request = std::getenv("PICTRIM_DECODER_MISBEHAVE");
  if (request == nullptr || Name.empty()) return {};
  const std::string text = request;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t colon = item.find(':');
    if (colon != std::string::npos && item.substr(colon + 1) == Name) return item.substr(0, colon);
    start = end + 1;
  }
  return {};
}

void Misbehave(const std::string& Kind, TByteSink& Sink) {
  if (Kind == "crash") std::raise(SIGSEGV);
  if (Kind == "hang") {
    for (;;) ::pause();
  }
  if (Kind == "spin" || Kind == "busy") {
    // Burns processor time: for ever, or for a second and a half before it
    // decodes as asked.
    timespec start{}, now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    for (;;) {
      ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
      const double used = double(now.tv_sec - start.tv_sec) + 1e-9 * double(now.tv_nsec - start.tv_nsec);
      if (Kind == "busy" && used > 1.5) return;
    }
  }
  if (Kind == "memory") {
    std::vector<char*> blocks;
    for (;;) {
      char* block = static_cast<char*>(std::malloc(64u << 20));
      if (block == nullptr) std::abort();
      std::memset(block, 1, 64u << 20);
      blocks.push_back(block);
    }
  }
  if (Kind == "garbage") {
    // Follows the answer's first bytes, already written.
    // A header (16 x 16, 24 bits, no cost), then a picture of no known type.
    static const char garbage[] =
        "\x01\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x18\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x02\x00\x00\x00\x07\x00\x00\x00 this is no picture, nothing like one";
    Sink.Write(garbage, sizeof garbage - 1);
    std::_Exit(0);
  }
}

// Formats whose loaders read exactly the bytes the file declares: a read
// that comes back short means the file ends before its picture does. (The
// JPEG loader reads in blocks and says so itself when the data runs out.)
bool ReadsExactly(FREE_IMAGE_FORMAT Format) {
  switch (Format) {
    case FIF_BMP:
    case FIF_TARGA:
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW:
    case FIF_PNG:
    case FIF_GIF:
    case FIF_TIFF:
    case FIF_WEBP:
      return true;
    default:
      return false;
  }
}

// The file (or the bytes sent) as the library's loaders read it, noting
// every read that got less than it asked for.
class TLoader {
 public:
  explicit TLoader(TRequest& Request) : Request_(Request) {
    if (!Request_.FromBytes) File_ = std::fopen(Request_.Path.c_str(), "rb");
  }
  ~TLoader() {
    if (File_ != nullptr) std::fclose(File_);
  }

  FIBITMAP* Load(int Flags) {
    const auto format = static_cast<FREE_IMAGE_FORMAT>(Request_.Format);
    if (!Request_.FromBytes && File_ == nullptr) return nullptr;
    Position_ = 0;
    if (File_ != nullptr) std::fseek(File_, 0, SEEK_SET);
    ShortReads_ = 0;
    FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
    return FreeImage_LoadFromHandle(format, &io, static_cast<fi_handle>(this), Flags);
  }

  // True when the last load wanted bytes beyond the end of the file.
  bool RanShort() const { return ShortReads_ > 0; }

 private:
  static TLoader& Of(fi_handle Handle) { return *static_cast<TLoader*>(Handle); }

  static unsigned DLL_CALLCONV ReadProc(void* Buffer, unsigned Size, unsigned Count,
                                        fi_handle Handle) {
    TLoader& self = Of(Handle);
    if (Size == 0 || Count == 0) return 0;
    unsigned items = 0;
    if (self.File_ != nullptr) {
      items = static_cast<unsigned>(std::fread(Buffer, Size, Count, self.File_));
    } else {
      const std::vector<uint8_t>& bytes = self.Request_.Bytes;
      const size_t left = self.Position_ < bytes.size() ? bytes.size() - self.Position_ : 0;
      items = static_cast<unsigned>(std::min<size_t>(Count, left / Size));
      if (items > 0) {
        std::memcpy(Buffer, bytes.data() + self.Position_, size_t{items} * Size);
        self.Position_ += size_t{items} * Size;
      }
    }
    if (items < Count) ++self.ShortReads_;
    return items;
  }

  static unsigned DLL_CALLCONV WriteProc(void*, unsigned, unsigned, fi_handle) { return 0; }

  static int DLL_CALLCONV SeekProc(fi_handle Handle, long Offset, int Origin) {
    TLoader& self = Of(Handle);
    if (self.File_ != nullptr) return std::fseek(self.File_, Offset, Origin);
    const auto size = static_cast<long>(self.Request_.Bytes.size());
    const long base = Origin == SEEK_SET   ? 0
                      : Origin == SEEK_CUR ? static_cast<long>(self.Position_)
                                           : size;
    if (Offset < -base || Offset > LONG_MAX - base) return -1;
    self.Position_ = static_cast<size_t>(base + Offset);
    return 0;
  }

  static long DLL_CALLCONV TellProc(fi_handle Handle) {
    TLoader& self = Of(Handle);
    if (self.File_ != nullptr) return std::ftell(self.File_);
    return static_cast<long>(self.Position_);
  }

  TRequest& Request_;
  std::FILE* File_ = nullptr;
  size_t Position_ = 0;  // in the bytes sent
  int ShortReads_ = 0;
};

// True when the library's messages hold one of the JPEG decoder's warnings
// about the data of the file (its errors end a load, and those of an
// embedded thumbnail do not concern the picture).
bool HasJpegDataWarning(const std::string& Messages) {
  return Messages.find("Premature end of JPEG file") != std::string::npos ||
         Messages.find("Corrupt JPEG data") != std::string::npos;
}

// Why a picture that did load may be incomplete; empty when nothing says so.
std::string DamageOf(FREE_IMAGE_FORMAT Format, const TLoader& Loader) {
  if (Format == FIF_JPEG && HasJpegDataWarning(LibraryMessages)) return LibraryMessages;
  if (ReadsExactly(Format) && Loader.RanShort()) return "the file ends before its picture does";
  return {};
}

std::string FailureText() {
  return LibraryMessages.empty() ? std::string("the library could not decode the file")
                                 : "the library could not decode the file: " + LibraryMessages;
}

TServed SendFailure(TByteSink& Sink, const std::string& Text) {
  return WriteFailure(Sink, Text) ? TServed::FailureSent : TServed::Broken;
}

// What the image library's load of a Width x Height picture of Bpp bits
// costs: the whole picture, shrunk afterwards into another when asked; the
// TIFF loader may first read the picture as 32-bit colour beside it.
TDecodeCost LoaderCost(FREE_IMAGE_FORMAT Format, uint32_t Width, uint32_t Height, uint32_t Bpp) {
  TDecodeCost cost;
  cost.WorkBytes = DecodedBytes(Width, Height, Bpp);
  if (Format == FIF_TIFF) cost.WorkBytes += DecodedBytes(Width, Height, 32);
  cost.WholeCopies = 0;
  cost.ShrunkCopies = 1;
  return cost;
}

// Answers a request through the image library.
TServed ServeImageLibrary(TRequest& Request, TByteSource& Source, TByteSink& Sink) {
  const auto format = static_cast<FREE_IMAGE_FORMAT>(Request.Format);
  if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format) || Request.MetadataOnly ||
      (Request.FromBytes && Request.Bytes.size() > 0xFFFFFFFFu)) {
    return SendFailure(Sink, "the format cannot be read");
  }
  TLoader loader(Request);
  uint32_t width = 0, height = 0, bpp = 0;
  if (FreeImage_FIFSupportsNoPixels(format)) {
    FIBITMAP* header = loader.Load(Request.Flags | FIF_LOAD_NOPIXELS);
    if (header == nullptr) return SendFailure(Sink, FailureText());
    width = FreeImage_GetWidth(header);
    height = FreeImage_GetHeight(header);
    bpp = FreeImage_GetBPP(header);
    FreeImage_Unload(header);
  }
  if (!WriteHeader(Sink, width, height, bpp, LoaderCost(format, width, height, bpp)))
    return TServed::Broken;
  // The reader refuses a picture above the limit from its header.
  if (uint64_t{width} * height > Request.MaxPixels) return TServed::FailureSent;
  uint32_t shrink = 1;
  uint64_t granted = 0;
  if (!ReadGoAhead(Source, shrink, granted)) return TServed::FailureSent;
  const TDecodeMemoryCap cap(granted);
  LibraryMessages.clear();
  errno = 0;
  FIBITMAP* picture = loader.Load(Request.Flags);
  if (picture == nullptr)
    return SendFailure(Sink, errno == ENOMEM ? OutOfGrantedMemory : FailureText());
  // Shrunk only when it is the picture the header told of.
  if (shrink > 1 && FreeImage_GetWidth(picture) == width && FreeImage_GetHeight(picture) == height) {
    if (FIBITMAP* shrunk = ShrinkPicture(picture, shrink)) {
      FreeImage_Unload(picture);
      picture = shrunk;
    }
  }
  const uint64_t pixels = uint64_t{FreeImage_GetWidth(picture)} * FreeImage_GetHeight(picture);
  const TServed served =
      pixels > Request.MaxPixels
          ? SendFailure(Sink, "the picture has more pixels than allowed")
          : (WritePicture(Sink, picture, DamageOf(format, loader)) ? TServed::Whole
                                                                   : TServed::Broken);
  FreeImage_Unload(picture);
  return served;
}

// Answers a request. A library that reports a want of memory by throwing
// (libheif) has met the limit of what was admitted for the decode.
TServed Serve(TRequest& Request, TFdChannel& Channel) {
  try {
    return Request.Codec == TCodec::Heif ? ServeHeif(Request, Channel, Channel)
                                         : ServeImageLibrary(Request, Channel, Channel);
  } catch (const std::bad_alloc&) {
    return SendFailure(Channel, OutOfGrantedMemory);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--decode") != 0) return 2;
  LimitThisProcess(std::strtoull(argv[2], nullptr, 10));
  std::signal(SIGPIPE, SIG_IGN);
  FreeImage_SetOutputMessage(CollectMessage);
  heif_init(nullptr);
  RegisterHevcDecoder();
  TFdChannel channel;
  for (bool first = true;; first = false) {
    TRequest request;
    // The end of the input between requests is the program's word to end.
    if (!ReadRequest(channel, request)) return first ? 2 : 0;
    if (!WriteAnswerStart(channel)) return 1;
    LibraryMessages.clear();
    const std::string misbehaviour = MisbehaviourFor(request.Name);
    Misbehave(misbehaviour, channel);
    const TServed served = Serve(request, channel);
    WriteCoverage();
    if (served != TServed::Whole) return served == TServed::Broken ? 1 : 0;
    if (misbehaviour == "crashafter") std::raise(SIGSEGV);
    if (misbehaviour == "chatterafter" && !WriteAnswerStart(channel)) return 1;
  }
}
