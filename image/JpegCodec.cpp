#include "image/JpegCodec.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace pictrim::jpegcodec {
namespace {

using TClock = std::chrono::steady_clock;

// A picture's colour profile has at most 255 chunks.
constexpr int MaxIccChunks = 255;
// The piece of a file read at a time.
constexpr size_t FileBufferBytes = 64 * 1024;
// What libjpeg itself may allocate beyond the estimate of CodecBytes.
constexpr uint64_t CodecSlackBytes = uint64_t(32) << 20;

struct TErrorManager {
  jpeg_error_mgr Public;
  std::jmp_buf Jump;
  int Warnings;
  TFailure Failure;  // why the last jump was taken
  char Reason[160];  // the text of a failure that is not the library's own
};

void OnError(j_common_ptr Info) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  const int code = err->Public.msg_code;
  err->Failure = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ? TFailure::TooLarge
                                                                             : TFailure::Damaged;
  err->Reason[0] = '\0';
  std::longjmp(err->Jump, 1);
}

void OnMessage(j_common_ptr Info, int Level) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  if (Level < 0) err->Warnings++;
}

// Ends the work with a failure of our own, as the library ends it with its errors.
[[noreturn]] void Stop(j_common_ptr Info, TFailure Failure, const char* Reason) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  err->Failure = Failure;
  std::snprintf(err->Reason, sizeof err->Reason, "%s", Reason);
  std::longjmp(err->Jump, 1);
}

void InstallErrorManager(TErrorManager& Err) {
  jpeg_std_error(&Err.Public);
  Err.Public.error_exit = OnError;
  Err.Public.emit_message = OnMessage;
  Err.Warnings = 0;
  Err.Failure = TFailure::None;
  Err.Reason[0] = '\0';
}

// The failure of a jump as a text: our own reason, else the library's message.
void CopyMessage(j_common_ptr Info, char* Message, size_t MessageSize) {
  if (Message == nullptr || MessageSize == 0) return;
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  if (err->Reason[0] != '\0') {
    std::snprintf(Message, MessageSize, "%s", err->Reason);
    return;
  }
  char text[JMSG_LENGTH_MAX] = {};
  Info->err->format_message(Info, text);
  std::snprintf(Message, MessageSize, "%s", text);
}

template <typename TResult>
void TakeFailure(j_common_ptr Info, TResult& Result) {
  auto* err = reinterpret_cast<TErrorManager*>(Info->err);
  CopyMessage(Info, Result.Message, sizeof(Result.Message));
  Result.Ok = false;
  Result.Failure = err->Failure == TFailure::None ? TFailure::Damaged : err->Failure;
  Result.Warnings = err->Warnings;
}

// ---------------------------------------------------------------------------
// The guard: the limits of one decode, looked at while it runs.

struct TGuard {
  jpeg_progress_mgr Public;
  const TLimits* Limits;
  TClock::time_point Deadline;
};

// The time a decode runs on: this thread's processor time, so that a busy
// machine does not change the outcome (or the clock a test gives).
TClock::time_point Now(const TLimits& Limits) {
  if (Limits.Clock) return Limits.Clock();
  timespec used{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return TClock::time_point(std::chrono::duration_cast<TClock::duration>(
      std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec)));
}

// Restarts the time allowed, from now on.
void StartClock(TGuard& Guard) {
  if (Guard.Limits->Seconds > 0) {
    Guard.Deadline = Now(*Guard.Limits) + std::chrono::duration_cast<TClock::duration>(
                                              std::chrono::duration<double>(Guard.Limits->Seconds));
  }
}

// Stops the work when it was cancelled, ran out of time or read too many
// scans. Called for every row, every piece of file read and, while a
// progressive file is taken in, for every row of blocks of every scan.
void CheckGuard(j_common_ptr Info) {
  const TGuard* guard = reinterpret_cast<const TGuard*>(Info->progress);
  if (guard == nullptr) return;
  const TLimits& limits = *guard->Limits;
  if (limits.Cancel != nullptr && limits.Cancel->load(std::memory_order_relaxed)) {
    Stop(Info, TFailure::Cancelled, "the decode was cancelled");
  }
  if (limits.Seconds > 0 && Now(limits) > guard->Deadline) {
    char reason[80];
    std::snprintf(reason, sizeof reason, "the decode took longer than %.0f s of processor time",
                  limits.Seconds);
    Stop(Info, TFailure::TooSlow, reason);
  }
  if (Info->is_decompressor && limits.MaxScans > 0) {
    const auto* in = reinterpret_cast<const jpeg_decompress_struct*>(Info);
    if (in->input_scan_number > limits.MaxScans) {
      char reason[80];
      std::snprintf(reason, sizeof reason, "the picture has more than %d scans", limits.MaxScans);
      Stop(Info, TFailure::TooManyScans, reason);
    }
  }
}

void InstallGuard(TGuard& Guard, const TLimits& Limits) {
  Guard.Public = {};
  Guard.Public.progress_monitor = CheckGuard;
  Guard.Limits = &Limits;
  StartClock(Guard);
}

// ---------------------------------------------------------------------------
// Input from a file, read a piece at a time.

struct TFileSource {
  jpeg_source_mgr Public;
  int Fd;
  uint64_t Offset;  // of the next piece
  JOCTET* Buffer;
};

void StartFileSource(j_decompress_ptr) {}
void EndFileSource(j_decompress_ptr) {}

boolean FillFromFile(j_decompress_ptr Info) {
  CheckGuard(reinterpret_cast<j_common_ptr>(Info));
  auto* src = reinterpret_cast<TFileSource*>(Info->src);
  ssize_t got;
  do {
    got = ::pread(src->Fd, src->Buffer, FileBufferBytes, static_cast<off_t>(src->Offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) ERREXIT(Info, JERR_FILE_READ);
  if (got == 0) {
    // The file ends early: an end-of-image marker stands in, as libjpeg's
    // own sources do, and the rest of the picture comes out grey.
    WARNMS(Info, JWRN_JPEG_EOF);
    src->Buffer[0] = 0xFF;
    src->Buffer[1] = JPEG_EOI;
    got = 2;
  } else {
    src->Offset += static_cast<uint64_t>(got);
  }
  src->Public.next_input_byte = src->Buffer;
  src->Public.bytes_in_buffer = static_cast<size_t>(got);
  return TRUE;
}

// Skipping a segment moves the read position without reading.
void SkipInFile(j_decompress_ptr Info, long Count) {
  if (Count <= 0) return;
  auto* src = reinterpret_cast<TFileSource*>(Info->src);
  const auto count = static_cast<uint64_t>(Count);
  if (count <= src->Public.bytes_in_buffer) {
    src->Public.next_input_byte += count;
    src->Public.bytes_in_buffer -= count;
    return;
  }
  src->Offset += count - src->Public.bytes_in_buffer;
  src->Public.next_input_byte = src->Buffer;
  src->Public.bytes_in_buffer = 0;
}

void UseInput(j_decompress_ptr Info, const TInput& Input) {
  if (Input.Fd < 0) {
    jpeg_mem_src(Info, Input.Data, static_cast<unsigned long>(Input.Size));
    return;
  }
  auto* src = static_cast<TFileSource*>((*Info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(Info), JPOOL_PERMANENT, sizeof(TFileSource)));
  src->Buffer = static_cast<JOCTET*>((*Info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(Info),
                                                               JPOOL_PERMANENT, FileBufferBytes));
  src->Fd = Input.Fd;
  src->Offset = 0;
  src->Public.init_source = StartFileSource;
  src->Public.fill_input_buffer = FillFromFile;
  src->Public.skip_input_data = SkipInFile;
  src->Public.resync_to_restart = jpeg_resync_to_restart;
  src->Public.term_source = EndFileSource;
  src->Public.next_input_byte = nullptr;
  src->Public.bytes_in_buffer = 0;
  Info->src = &src->Public;
}

// ---------------------------------------------------------------------------
// Colour profile chunks, kept with a bound: libjpeg's own marker saving
// would keep every APP2 segment of a file, however many there are.

JOCTET NextByte(j_decompress_ptr Info) {
  jpeg_source_mgr* src = Info->src;
  if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(Info))
    ERREXIT(Info, JERR_CANT_SUSPEND);
  --src->bytes_in_buffer;
  return *src->next_input_byte++;
}

void ReadBytes(j_decompress_ptr Info, JOCTET* Out, size_t Count) {
  jpeg_source_mgr* src = Info->src;
  while (Count > 0) {
    if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(Info))
      ERREXIT(Info, JERR_CANT_SUSPEND);
    const size_t n = Count < src->bytes_in_buffer ? Count : src->bytes_in_buffer;
    std::memcpy(Out, src->next_input_byte, n);
    src->next_input_byte += n;
    src->bytes_in_buffer -= n;
    Out += n;
    Count -= n;
  }
}

bool IsIccChunkStart(const JOCTET* Data) {
  static const char signature[] = "ICC_PROFILE";  // with its closing zero: 12 bytes
  return std::memcmp(Data, signature, sizeof signature) == 0;
}

// Reads one APP2 segment: a colour profile chunk joins the marker list, where
// jpeg_read_icc_profile finds it, while there are at most MaxIccChunks;
// anything else is skipped.
boolean KeepIccChunk(j_decompress_ptr Info) {
  const unsigned high = NextByte(Info);
  const unsigned length = (high << 8 | NextByte(Info));
  if (length < 2) ERREXIT(Info, JERR_BAD_LENGTH);
  const size_t size = length - 2;
  jpeg_saved_marker_ptr* tail = &Info->marker_list;
  int chunks = 0;
  for (; *tail != nullptr; tail = &(*tail)->next) ++chunks;
  constexpr size_t headerBytes = 14;  // signature, chunk number, chunk count
  if (size < headerBytes || chunks >= MaxIccChunks) {
    (*Info->src->skip_input_data)(Info, static_cast<long>(size));
    return TRUE;
  }
  JOCTET header[headerBytes];
  ReadBytes(Info, header, headerBytes);
  if (!IsIccChunkStart(header)) {
    (*Info->src->skip_input_data)(Info, static_cast<long>(size - headerBytes));
    return TRUE;
  }
  auto* marker = static_cast<jpeg_saved_marker_ptr>((*Info->mem->alloc_large)(
      reinterpret_cast<j_common_ptr>(Info), JPOOL_IMAGE, sizeof(jpeg_marker_struct) + size));
  marker->next = nullptr;
  marker->marker = JPEG_APP0 + 2;
  marker->original_length = static_cast<unsigned>(size);
  marker->data_length = static_cast<unsigned>(size);
  marker->data = reinterpret_cast<JOCTET*>(marker + 1);
  std::memcpy(marker->data, header, headerBytes);
  ReadBytes(Info, marker->data + headerBytes, size - headerBytes);
  *tail = marker;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Admission

uint64_t RoundUp(uint64_t Value, uint64_t Step) {
  return Step == 0 ? Value : (Value + Step - 1) / Step * Step;
}

// What the decoder will hold for the picture whose header has been read, at
// the output size chosen: the coefficients of the whole picture when it
// comes in several scans (whatever the scale), and its rows of work.
uint64_t DecoderBytes(j_decompress_ptr Info) {
  uint64_t bytes = 0;
  if (jpeg_has_multiple_scans(Info)) {
    for (int c = 0; c < Info->num_components; ++c) {
      const jpeg_component_info& comp = Info->comp_info[c];
      bytes += RoundUp(comp.width_in_blocks, static_cast<uint64_t>(comp.h_samp_factor)) *
               RoundUp(comp.height_in_blocks, static_cast<uint64_t>(comp.v_samp_factor)) *
               sizeof(JBLOCK);
    }
  }
  // Row buffers: a few rows of blocks of every component at full width.
  const uint64_t rowBlocks = static_cast<uint64_t>(Info->max_v_samp_factor) * DCTSIZE * 4;
  bytes += uint64_t{Info->image_width} * static_cast<uint64_t>(Info->num_components) * rowBlocks;
  return bytes;
}

// Asks the caller's admission (with Extra bytes more for the codec), then
// lets libjpeg allocate no more than that and starts the clock.
void Admit(j_decompress_ptr Info, TGuard& Guard, uint64_t Extra) {
  const TLimits& limits = *Guard.Limits;
  const uint64_t bytes = DecoderBytes(Info) + Extra;
  if (limits.Admit != nullptr &&
      !limits.Admit(limits.AdmitContext, Info->output_width, Info->output_height, bytes)) {
    char reason[120];
    std::snprintf(reason, sizeof reason, "%ux%u pixels need more memory than allowed",
                  Info->image_width, Info->image_height);
    Stop(reinterpret_cast<j_common_ptr>(Info), TFailure::TooLarge, reason);
  }
  Info->mem->max_memory_to_use = static_cast<long>(bytes + CodecSlackBytes);
  StartClock(Guard);
}

// Creates the decompressor on Input with the guard installed and reads the
// frame header.
void OpenDecompress(j_decompress_ptr Info, TGuard& Guard, const TInput& Input) {
  jpeg_create_decompress(Info);
  Info->progress = &Guard.Public;
  UseInput(Info, Input);
  jpeg_read_header(Info, TRUE);
}

// ---------------------------------------------------------------------------
// Output into a buffer the codec owns: it grows as the data comes and stays
// reachable through the compressor on every path, so that a failure frees
// exactly what was allocated.

struct TBufferDestination {
  jpeg_destination_mgr Public;
  JOCTET* Buffer;
  size_t Capacity;
};

constexpr size_t FirstBufferBytes = 64 * 1024;

void StartBuffer(j_compress_ptr Info) {
  auto* dest = reinterpret_cast<TBufferDestination*>(Info->dest);
  dest->Buffer = static_cast<JOCTET*>(std::malloc(FirstBufferBytes));
  if (dest->Buffer == nullptr) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 10);
  dest->Capacity = FirstBufferBytes;
  dest->Public.next_output_byte = dest->Buffer;
  dest->Public.free_in_buffer = dest->Capacity;
}

boolean GrowBuffer(j_compress_ptr Info) {
  auto* dest = reinterpret_cast<TBufferDestination*>(Info->dest);
  const size_t capacity = dest->Capacity * 2;
  if (capacity < dest->Capacity) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 11);
  auto* grown = static_cast<JOCTET*>(std::realloc(dest->Buffer, capacity));
  if (grown == nullptr) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 11);
  dest->Buffer = grown;
  dest->Public.next_output_byte = grown + dest->Capacity;
  dest->Public.free_in_buffer = capacity - dest->Capacity;
  dest->Capacity = capacity;
  return TRUE;
}

void EndBuffer(j_compress_ptr) {}

void UseBuffer(j_compress_ptr Info) {
  auto* dest = static_cast<TBufferDestination*>((*Info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(Info), JPOOL_PERMANENT, sizeof(TBufferDestination)));
  dest->Buffer = nullptr;
  dest->Capacity = 0;
  dest->Public.init_destination = StartBuffer;
  dest->Public.empty_output_buffer = GrowBuffer;
  dest->Public.term_destination = EndBuffer;
  Info->dest = &dest->Public;
}

// Hands the written bytes to Result; the compressor keeps nothing of them.
void TakeBuffer(j_compress_ptr Info, TEncodeResult& Result) {
  auto* dest = reinterpret_cast<TBufferDestination*>(Info->dest);
  Result.Data = dest->Buffer;
  Result.Size = dest->Capacity - dest->Public.free_in_buffer;
  dest->Buffer = nullptr;
}

// Frees what the buffer holds, on any path; the compressor may have none.
void DropBuffer(j_compress_ptr Info) {
  if (Info->dest == nullptr || Info->dest->init_destination != StartBuffer) return;
  auto* dest = reinterpret_cast<TBufferDestination*>(Info->dest);
  std::free(dest->Buffer);
  dest->Buffer = nullptr;
}

// ---------------------------------------------------------------------------

// Turns one CMYK row into RGB or BGRX; Adobe files store the inks inverted.
void CmykRowToColour(const uint8_t* In, uint8_t* Out, uint32_t Width, bool Inverted,
                     TPixelLayout Layout) {
  const bool bgrx = Layout == TPixelLayout::Bgrx32;
  const size_t step = BytesPerPixel(Layout);
  for (uint32_t x = 0; x < Width; ++x) {
    unsigned c = In[4 * x], m = In[4 * x + 1], y = In[4 * x + 2], k = In[4 * x + 3];
    if (!Inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    uint8_t* pixel = Out + step * x;
    pixel[bgrx ? 2 : 0] = static_cast<uint8_t>(c * k / 255);
    pixel[1] = static_cast<uint8_t>(m * k / 255);
    pixel[bgrx ? 0 : 2] = static_cast<uint8_t>(y * k / 255);
    if (bgrx) pixel[3] = 255;
  }
}

J_COLOR_SPACE ColourSpaceOf(TPixelLayout Layout) {
  switch (Layout) {
    case TPixelLayout::Grey8:
      return JCS_GRAYSCALE;
    case TPixelLayout::Rgb24:
      return JCS_RGB;
    case TPixelLayout::Bgrx32:
      return JCS_EXT_BGRX;
  }
  return JCS_RGB;
}

int ClampedQuality(int Quality) {
  return Quality < 1 ? 1 : (Quality > 100 ? 100 : Quality);
}

// Decodes the way the image library decodes (fast integer transform, no
// smoothing of the chroma), so that the pixels and thus the bytes match.
void DecodeLikeTheLibrary(jpeg_decompress_struct& Info) {
  Info.out_color_space = JCS_RGB;
  Info.dct_method = JDCT_IFAST;
  Info.do_fancy_upsampling = FALSE;
}

// The density the image library writes: it keeps a JFIF density as dots per
// metre and writes dots per inch; without one it writes 72 dpi.
void CopyDensity(const jpeg_decompress_struct& In, jpeg_compress_struct& Out) {
  double perMetreX = 2835, perMetreY = 2835;
  if (In.saw_JFIF_marker && In.density_unit == 1) {
    perMetreX = static_cast<unsigned>(In.X_density / 0.0254 + 0.5);
    perMetreY = static_cast<unsigned>(In.Y_density / 0.0254 + 0.5);
  } else if (In.saw_JFIF_marker && In.density_unit == 2) {
    perMetreX = In.X_density * 100.0;
    perMetreY = In.Y_density * 100.0;
  }
  Out.density_unit = 1;
  Out.X_density = static_cast<UINT16>(0.5 + 0.0254 * perMetreX);
  Out.Y_density = static_cast<UINT16>(0.5 + 0.0254 * perMetreY);
}

}  // namespace

unsigned ReducedScaleDenom(uint32_t Width, uint32_t Height, uint32_t MinWidth, uint32_t MinHeight) {
  for (const unsigned d : {8u, 4u, 2u}) {
    if ((Width + d - 1) / d >= MinWidth && (Height + d - 1) / d >= MinHeight) return d;
  }
  return 1;
}

unsigned RoomyScaleDenom(uint32_t Width, uint32_t Height, uint32_t CopyWidth, uint32_t CopyHeight) {
  // The room as tenths of the copy's edges.
  constexpr struct {
    unsigned Denom, Tenths;
  } rooms[] = {{8, 20}, {4, 16}, {2, 12}};
  for (const auto& room : rooms) {
    const uint64_t width = (Width + room.Denom - 1) / room.Denom;
    const uint64_t height = (Height + room.Denom - 1) / room.Denom;
    if (10 * width >= uint64_t{room.Tenths} * CopyWidth &&
        10 * height >= uint64_t{room.Tenths} * CopyHeight)
      return room.Denom;
  }
  return 1;
}

TDecodeResult ReadHeader(const TInput& Input, THeader* Header, const TLimits& Limits) {
  TDecodeResult result;
  jpeg_decompress_struct info{};
  TErrorManager err;
  TGuard guard;
  InstallGuard(guard, Limits);
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    TakeFailure(reinterpret_cast<j_common_ptr>(&info), result);
    jpeg_destroy_decompress(&info);
    return result;
  }
  OpenDecompress(&info, guard, Input);
  Header->Width = info.image_width;
  Header->Height = info.image_height;
  Header->Components = info.num_components;
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&info);
  result.Ok = true;
  return result;
}

TDecodeResult Decode(const TInput& Input, unsigned ScaleDenom, TPixelLayout Layout,
                     TRowBufferFn RowBuffer, void* Context, const TLimits& Limits) {
  TDecodeResult result;
  jpeg_decompress_struct info{};
  TErrorManager err;
  TGuard guard;
  uint8_t* volatile cmykRow = nullptr;
  InstallGuard(guard, Limits);
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    TakeFailure(reinterpret_cast<j_common_ptr>(&info), result);
    std::free(cmykRow);
    jpeg_destroy_decompress(&info);
    return result;
  }
  OpenDecompress(&info, guard, Input);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : ColourSpaceOf(Layout);
  info.scale_num = 1;
  info.scale_denom = ScaleDenom == 0 ? 1 : ScaleDenom;
  jpeg_calc_output_dimensions(&info);
  Admit(&info, guard, cmyk ? uint64_t{info.output_width} * 4 : 0);
  jpeg_start_decompress(&info);
  size_t stride = 0;
  uint8_t* rows = RowBuffer(Context, info.output_width, info.output_height, &stride);
  if (rows == nullptr) {
    char reason[80];
    std::snprintf(reason, sizeof reason, "no memory for %ux%u pixels", info.output_width,
                  info.output_height);
    Stop(reinterpret_cast<j_common_ptr>(&info), TFailure::TooLarge, reason);
  }
  if (cmyk) {
    cmykRow = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(info.output_width) * 4));
    if (cmykRow == nullptr) ERREXIT1(&info, JERR_OUT_OF_MEMORY, 12);
  }
  while (info.output_scanline < info.output_height) {
    uint8_t* target = rows + stride * info.output_scanline;
    JSAMPROW row = cmyk ? cmykRow : target;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (cmyk) CmykRowToColour(cmykRow, target, info.output_width, info.saw_Adobe_marker, Layout);
  }
  jpeg_finish_decompress(&info);
  std::free(cmykRow);
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&info);
  result.Ok = true;
  return result;
}

TDecodeResult DecodeRows(const TInput& Input, TRowSinkFn Sink, void* Context,
                         const TLimits& Limits) {
  TDecodeResult result;
  jpeg_decompress_struct info{};
  TErrorManager err;
  TGuard guard;
  uint8_t* volatile row = nullptr;
  InstallGuard(guard, Limits);
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    TakeFailure(reinterpret_cast<j_common_ptr>(&info), result);
    std::free(row);
    jpeg_destroy_decompress(&info);
    return result;
  }
  OpenDecompress(&info, guard, Input);
  DecodeLikeTheLibrary(info);
  jpeg_calc_output_dimensions(&info);
  Admit(&info, guard, uint64_t{info.output_width} * 3);
  jpeg_start_decompress(&info);
  row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(info.output_width) * 3));
  if (row == nullptr) ERREXIT1(&info, JERR_OUT_OF_MEMORY, 12);
  if (!Sink(Context, info.output_width, info.output_height, info.output_height, nullptr)) {
    Stop(reinterpret_cast<j_common_ptr>(&info), TFailure::TooLarge, "no memory for the rows");
  }
  while (info.output_scanline < info.output_height) {
    const uint32_t y = info.output_scanline;
    JSAMPROW line = row;
    if (jpeg_read_scanlines(&info, &line, 1) != 1) break;
    Sink(Context, info.output_width, info.output_height, y, row);
  }
  jpeg_finish_decompress(&info);
  std::free(row);
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&info);
  result.Ok = true;
  return result;
}

TEncodeResult Encode(const uint8_t* Pixels, uint32_t Width, uint32_t Height, size_t Stride,
                     TPixelLayout Layout, int Quality) {
  TEncodeResult result;
  jpeg_compress_struct info{};
  TErrorManager err;
  info.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    TakeFailure(reinterpret_cast<j_common_ptr>(&info), result);
    DropBuffer(&info);
    jpeg_destroy_compress(&info);
    return result;
  }
  jpeg_create_compress(&info);
  UseBuffer(&info);
  info.image_width = Width;
  info.image_height = Height;
  info.input_components = static_cast<int>(BytesPerPixel(Layout));
  info.in_color_space = ColourSpaceOf(Layout);
  jpeg_set_defaults(&info);
  info.dct_method = JDCT_ISLOW;
  jpeg_set_quality(&info, ClampedQuality(Quality), TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(Pixels + Stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  TakeBuffer(&info, result);
  jpeg_destroy_compress(&info);
  result.Ok = true;
  return result;
}

void FreeEncoded(TEncodeResult& Result) {
  std::free(Result.Data);
  Result.Data = nullptr;
  Result.Size = 0;
}

TEncodeResult Transcode(const TInput& Input, int Quality, TRowSinkFn Sink, void* Context,
                        const TLimits& Limits) {
  TEncodeResult result;
  jpeg_decompress_struct in{};
  jpeg_compress_struct out{};
  TErrorManager err;
  TGuard guard;
  uint8_t* volatile row = nullptr;
  JOCTET* volatile icc = nullptr;
  InstallGuard(guard, Limits);
  in.err = &err.Public;
  out.err = &err.Public;
  InstallErrorManager(err);
  if (setjmp(err.Jump)) {
    TakeFailure(reinterpret_cast<j_common_ptr>(&in), result);
    DropBuffer(&out);
    jpeg_destroy_decompress(&in);
    jpeg_destroy_compress(&out);
    std::free(row);
    std::free(icc);
    return result;
  }
  jpeg_create_compress(&out);
  jpeg_create_decompress(&in);
  in.progress = &guard.Public;
  out.progress = &guard.Public;
  UseInput(&in, Input);
  jpeg_set_marker_processor(&in, JPEG_APP0 + 2, KeepIccChunk);
  jpeg_read_header(&in, TRUE);
  if (in.num_components != 3 ||
      (in.jpeg_color_space != JCS_YCbCr && in.jpeg_color_space != JCS_RGB)) {
    Stop(reinterpret_cast<j_common_ptr>(&in), TFailure::Unsupported,
         "not a three-component colour JPEG");
  }
  JOCTET* profile = nullptr;
  unsigned int profileSize = 0;
  if (jpeg_read_icc_profile(&in, &profile, &profileSize)) icc = profile;
  DecodeLikeTheLibrary(in);
  jpeg_calc_output_dimensions(&in);
  // The encoded copy grows beside the decode; one byte a pixel is ample.
  Admit(&in, guard, uint64_t{in.output_width} * in.output_height + uint64_t{in.output_width} * 3);
  jpeg_start_decompress(&in);
  row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(in.output_width) * 3));
  if (row == nullptr) ERREXIT1(&in, JERR_OUT_OF_MEMORY, 12);
  if (Sink != nullptr &&
      !Sink(Context, in.output_width, in.output_height, in.output_height, nullptr)) {
    Stop(reinterpret_cast<j_common_ptr>(&in), TFailure::TooLarge, "no memory for the rows");
  }
  UseBuffer(&out);
  out.image_width = in.output_width;
  out.image_height = in.output_height;
  out.input_components = 3;
  out.in_color_space = JCS_RGB;
  jpeg_set_defaults(&out);
  jpeg_set_quality(&out, ClampedQuality(Quality), TRUE);
  CopyDensity(in, out);
  jpeg_start_compress(&out, TRUE);
  if (icc != nullptr) jpeg_write_icc_profile(&out, icc, profileSize);
  while (in.output_scanline < in.output_height) {
    const uint32_t y = in.output_scanline;
    JSAMPROW line = row;
    if (jpeg_read_scanlines(&in, &line, 1) != 1) break;
    if (Sink != nullptr) Sink(Context, in.output_width, in.output_height, y, row);
    jpeg_write_scanlines(&out, &line, 1);
  }
  jpeg_finish_decompress(&in);
  jpeg_finish_compress(&out);
  TakeBuffer(&out, result);
  result.Warnings = err.Warnings;
  jpeg_destroy_decompress(&in);
  jpeg_destroy_compress(&out);
  std::free(row);
  std::free(icc);
  result.Ok = true;
  return result;
}

}  // namespace pictrim::jpegcodec
