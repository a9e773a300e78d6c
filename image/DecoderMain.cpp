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
// garbage:d.bmp,crashafter:e.png" makes it misbehave on purpose for the files
// so named (crashafter: it answers, then crashes before the next request).
#include <malloc.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <FreeImage.h>
#include <libheif/heif.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/DecodeProtocol.h"
#include "image/HeifDecode.h"

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
void LimitThisProcess(uint64_t MemoryBytes) {
  ::mallopt(M_ARENA_MAX, 2);
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  if (MemoryBytes > 0) {
    const rlimit memory{MemoryBytes, MemoryBytes};
    ::setrlimit(RLIMIT_AS, &memory);
  }
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() == 1) std::_Exit(3);
}

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
    static const char garbage[] =
        "\x01\x00\x00\x00\x10\x00\x00\x00\x10\x00\x00\x00\x18\x00\x00\x00"
        "\x02\x00\x00\x00\x07\x00\x00\x00 this is no picture, nothing like one";
    Sink.Write(garbage, sizeof garbage - 1);
    std::_Exit(0);
  }
}

class TLoader {
 public:
  explicit TLoader(TRequest& Request) : Request_(Request) {
    if (Request_.FromBytes) {
      Stream_ =
          FreeImage_OpenMemory(Request_.Bytes.data(), static_cast<DWORD>(Request_.Bytes.size()));
    }
  }
  ~TLoader() {
    if (Stream_ != nullptr) FreeImage_CloseMemory(Stream_);
  }

  FIBITMAP* Load(int Flags) {
    const auto format = static_cast<FREE_IMAGE_FORMAT>(Request_.Format);
    if (!Request_.FromBytes) return FreeImage_Load(format, Request_.Path.c_str(), Flags);
    if (Stream_ == nullptr) return nullptr;
    FreeImage_SeekMemory(Stream_, 0, SEEK_SET);
    return FreeImage_LoadFromMemory(format, Stream_, Flags);
  }

 private:
  TRequest& Request_;
  FIMEMORY* Stream_ = nullptr;
};

std::string FailureText() {
  return LibraryMessages.empty() ? std::string("the library could not decode the file")
                                 : "the library could not decode the file: " + LibraryMessages;
}

TServed SendFailure(TByteSink& Sink, const std::string& Text) {
  return WriteFailure(Sink, Text) ? TServed::FailureSent : TServed::Broken;
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
  if (!WriteHeader(Sink, width, height, bpp)) return TServed::Broken;
  // The reader refuses a picture above the limit from its header.
  if (uint64_t{width} * height > Request.MaxPixels) return TServed::FailureSent;
  uint8_t go = 0;
  if (!Source.Read(&go, 1) || go != GoAhead) return TServed::FailureSent;
  FIBITMAP* picture = loader.Load(Request.Flags);
  if (picture == nullptr) return SendFailure(Sink, FailureText());
  const uint64_t pixels = uint64_t{FreeImage_GetWidth(picture)} * FreeImage_GetHeight(picture);
  const TServed served = pixels > Request.MaxPixels
                             ? SendFailure(Sink, "the picture has more pixels than allowed")
                             : (WritePicture(Sink, picture) ? TServed::Whole : TServed::Broken);
  FreeImage_Unload(picture);
  return served;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--decode") != 0) return 2;
  LimitThisProcess(std::strtoull(argv[2], nullptr, 10));
  std::signal(SIGPIPE, SIG_IGN);
  FreeImage_SetOutputMessage(CollectMessage);
  heif_init(nullptr);
  TFdChannel channel;
  for (bool first = true;; first = false) {
    TRequest request;
    // The end of the input between requests is the program's word to end.
    if (!ReadRequest(channel, request)) return first ? 2 : 0;
    if (!WriteAnswerStart(channel)) return 1;
    LibraryMessages.clear();
    const std::string misbehaviour = MisbehaviourFor(request.Name);
    Misbehave(misbehaviour, channel);
    const TServed served = request.Codec == TCodec::Heif
                               ? ServeHeif(request, channel, channel)
                               : ServeImageLibrary(request, channel, channel);
    if (served != TServed::Whole) return served == TServed::Broken ? 1 : 0;
    if (misbehaviour == "crashafter") std::raise(SIGSEGV);
  }
}
