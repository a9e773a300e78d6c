#include "image/Resample.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace pictrim::resampling {
namespace {

// Samples are worked on as whole numbers of 14 bits: an 8-bit value times
// 64, or its linear light times 16383. Filtered values may overshoot a
// little on either side (the Lanczos lobes) and stay within 16 bits.
constexpr int WorkBits = 14;
constexpr int32_t WorkMax = (1 << WorkBits) - 1;
constexpr int ToWork = WorkBits - 8;

}  // namespace

bool SharpInLinearLight = true;

namespace {

std::atomic<TResampler::TVectors> VectorsAllowed{TResampler::TVectors::Widest};

double Lanczos3(double X) {
  X = std::abs(X);
  if (X < 1e-9) return 1.0;
  if (X >= 3.0) return 0.0;
  const double pi = 3.14159265358979323846;
  return 3.0 * std::sin(pi * X) * std::sin(pi * X / 3.0) / (pi * pi * X * X);
}

double SrgbToLinear(double V) {
  return V <= 0.04045 ? V / 12.92 : std::pow((V + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double L) {
  return L <= 0.0031308 ? L * 12.92 : 1.055 * std::pow(L, 1.0 / 2.4) - 0.055;
}

// 8-bit sample to work value, and work value (clamped) back to 8 bits.
struct TTables {
  std::array<int16_t, 256> PlainIn{};
  std::array<int16_t, 256> LinearIn{};
  std::array<uint8_t, WorkMax + 1> PlainOut{};
  std::array<uint8_t, WorkMax + 1> LinearOut{};
  TTables() {
    for (int s = 0; s < 256; ++s) {
      PlainIn[size_t(s)] = int16_t(s << ToWork);
      LinearIn[size_t(s)] = int16_t(std::lround(SrgbToLinear(s / 255.0) * WorkMax));
    }
    for (int x = 0; x <= WorkMax; ++x) {
      PlainOut[size_t(x)] = uint8_t(std::min(255, (x + (1 << (ToWork - 1))) >> ToWork));
      LinearOut[size_t(x)] = uint8_t(std::lround(LinearToSrgb(double(x) / WorkMax) * 255.0));
    }
  }
};

const TTables& Tables() {
  static const TTables tables;
  return tables;
}

// The span of the whole picture that pixel I of a side stands for.
struct TSpan {
  double Begin;
  double End;
};

TSpan SpanOf(const TSide& Side, uint32_t I) {
  const double whole = Side.WholePixels();
  const double begin = std::min(double(I) * Side.Factor, whole);
  const double end = std::min(double(I + 1) * Side.Factor, whole);
  return {begin, std::max(end, begin)};
}

// The raw weights of the old pixels First.. for one new pixel covering
// [Begin, End) of the whole picture.
std::vector<double> AreaWeights(const TSide& From, double Begin, double End, uint32_t& First) {
  const uint32_t f = From.Factor;
  const auto first = uint32_t(std::min<double>(std::floor(Begin / f), From.Pixels - 1));
  const auto last = uint32_t(std::min<double>(std::ceil(End / f), From.Pixels));
  std::vector<double> weights;
  for (uint32_t i = first; i < std::max(last, first + 1); ++i) {
    const TSpan span = SpanOf(From, i);
    weights.push_back(std::max(0.0, std::min(span.End, End) - std::max(span.Begin, Begin)));
  }
  First = first;
  return weights;
}

std::vector<double> LanczosWeights(const TSide& From, double Centre, double Scale,
                                   uint32_t& First) {
  const double reach = 3.0 * Scale;
  const uint32_t f = From.Factor;
  const auto first =
      uint32_t(std::clamp<double>(std::floor((Centre - reach) / f) - 1, 0, From.Pixels - 1));
  const auto last =
      uint32_t(std::clamp<double>(std::ceil((Centre + reach) / f) + 1, first + 1, From.Pixels));
  std::vector<double> weights;
  for (uint32_t i = first; i < last; ++i) {
    const TSpan span = SpanOf(From, i);
    weights.push_back(Lanczos3(((span.Begin + span.End) / 2 - Centre) / Scale));
  }
  First = first;
  return weights;
}

// Whole-number weights that add up to TTaps::Scale exactly (the rounding
// left over goes to the largest one); a set that adds up to nothing takes
// the nearest pixel alone.
std::vector<int32_t> Quantised(const std::vector<double>& Weights, size_t Nearest) {
  double sum = 0;
  for (const double w : Weights) sum += w;
  std::vector<int32_t> q(Weights.size(), 0);
  if (!(sum > 1e-12)) {
    q[std::min(Nearest, q.size() - 1)] = TTaps::Scale;
    return q;
  }
  int32_t total = 0;
  size_t largest = 0;
  for (size_t k = 0; k < Weights.size(); ++k) {
    q[k] = int32_t(std::lround(Weights[k] / sum * TTaps::Scale));
    total += q[k];
    if (std::abs(Weights[k]) > std::abs(Weights[largest])) largest = k;
  }
  q[largest] += TTaps::Scale - total;
  return q;
}

// The plain loop of FilterDown (see ResampleKernels.inc) from sample From on.
template <typename TSample, int Shift>
void FilterDownRest(const TSample* const* Rows, const int32_t* Pairs, uint32_t Count, size_t From,
                    size_t N, int16_t* Out) {
  for (size_t i = From; i < N; ++i) {
    int32_t sum = 1 << (Shift - 1);
    for (uint32_t k = 0; k < Count; ++k) {
      const int32_t pair = Pairs[k / 2];
      const int32_t weight = k % 2 == 0 ? int16_t(pair & 0xFFFF) : int16_t(pair >> 16);
      sum += weight * Rows[k][i];
    }
    Out[i] = int16_t(std::clamp<int32_t>(sum >> Shift, INT16_MIN, INT16_MAX));
  }
}

template <typename TSample, int Shift>
void FilterDownPlain(const TSample* const* Rows, const int32_t* Pairs, uint32_t Count, size_t N,
                     int16_t* Out) {
  FilterDownRest<TSample, Shift>(Rows, Pairs, Count, 0, N, Out);
}

#if defined(__SSE2__)
namespace sse2 {
struct V {
  using T = __m128i;
  static constexpr size_t Bytes = 16;
  static T Set1(int32_t X) { return _mm_set1_epi32(X); }
  static T Zero() { return _mm_setzero_si128(); }
  template <typename S>
  static T Load(const S* P) {
    return _mm_loadu_si128(reinterpret_cast<const T*>(P));
  }
  static void Store(int16_t* P, T X) { _mm_storeu_si128(reinterpret_cast<T*>(P), X); }
  static void StoreInOrder(int16_t* P, T A, T B) {
    Store(P, A);
    Store(P + 8, B);
  }
  static T UnpackLo8(T A, T B) { return _mm_unpacklo_epi8(A, B); }
  static T UnpackHi8(T A, T B) { return _mm_unpackhi_epi8(A, B); }
  static T UnpackLo16(T A, T B) { return _mm_unpacklo_epi16(A, B); }
  static T UnpackHi16(T A, T B) { return _mm_unpackhi_epi16(A, B); }
  static T Madd(T A, T B) { return _mm_madd_epi16(A, B); }
  static T Add32(T A, T B) { return _mm_add_epi32(A, B); }
  template <int S>
  static T Shift32(T X) {
    return _mm_srai_epi32(X, S);
  }
  static T Pack32(T A, T B) { return _mm_packs_epi32(A, B); }
};
#include "image/ResampleKernels.inc"
}  // namespace sse2

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
struct V {
  using T = __m256i;
  static constexpr size_t Bytes = 32;
  static T Set1(int32_t X) { return _mm256_set1_epi32(X); }
  static T Zero() { return _mm256_setzero_si256(); }
  template <typename S>
  static T Load(const S* P) {
    return _mm256_loadu_si256(reinterpret_cast<const T*>(P));
  }
  static void Store(int16_t* P, T X) { _mm256_storeu_si256(reinterpret_cast<T*>(P), X); }
  // A and B hold samples 0-7 and 16-23, 8-15 and 24-31 (the lanes work apart).
  static void StoreInOrder(int16_t* P, T A, T B) {
    Store(P, _mm256_permute2x128_si256(A, B, 0x20));
    Store(P + 16, _mm256_permute2x128_si256(A, B, 0x31));
  }
  static T UnpackLo8(T A, T B) { return _mm256_unpacklo_epi8(A, B); }
  static T UnpackHi8(T A, T B) { return _mm256_unpackhi_epi8(A, B); }
  static T UnpackLo16(T A, T B) { return _mm256_unpacklo_epi16(A, B); }
  static T UnpackHi16(T A, T B) { return _mm256_unpackhi_epi16(A, B); }
  static T Madd(T A, T B) { return _mm256_madd_epi16(A, B); }
  static T Add32(T A, T B) { return _mm256_add_epi32(A, B); }
  template <int S>
  static T Shift32(T X) {
    return _mm256_srai_epi32(X, S);
  }
  static T Pack32(T A, T B) { return _mm256_packs_epi32(A, B); }
};
#include "image/ResampleKernels.inc"
}  // namespace avx2
#pragma GCC pop_options
#endif

enum class TLoops { Plain, Sse2, Avx2 };

TLoops BestLoops(TResampler::TVectors Allowed) {
#if defined(__SSE2__)
  if (Allowed == TResampler::TVectors::None) return TLoops::Plain;
  __builtin_cpu_init();
  const bool wide = Allowed == TResampler::TVectors::Widest && __builtin_cpu_supports("avx2");
  return wide ? TLoops::Avx2 : TLoops::Sse2;
#else
  (void)Allowed;
  return TLoops::Plain;
#endif
}

// Samples of 8 bits are worked on times 64 (a shift of 8 instead of 14 after
// the weights), linear light in 14 bits.
constexpr int DownShift8 = TTaps::Bits - ToWork;
constexpr int DownShift16 = TTaps::Bits;

template <typename TSample>
using TDownFn = void (*)(const TSample* const*, const int32_t*, uint32_t, size_t, int16_t*);

template <typename TSample, int Shift>
TDownFn<TSample> DownLoops(TLoops Loops) {
#if defined(__SSE2__)
  if (Loops == TLoops::Avx2) return avx2::FilterDown<TSample, Shift>;
  if (Loops == TLoops::Sse2) return sse2::FilterDown<TSample, Shift>;
#endif
  (void)Loops;
  return FilterDownPlain<TSample, Shift>;
}

#if defined(__SSE2__)
// The weighed sum of the old pixels that make new pixel U of a row of
// colour pixels of Channels samples: two old pixels at a time, their
// samples paired channel by channel; each new pixel takes as many pairs as
// the widest one (the others weighed 0), so that the loop always runs the
// same number of times. Four work values, the last one unused for three
// channels.
template <uint32_t Channels>
__m128i AcrossPixel(const int16_t* Column, const TTaps& Across, const int32_t* Pairs, uint32_t U) {
  const size_t pairs = Across.Stride / 2;
  const int16_t* p = Column + size_t{Across.First[U]} * Channels;
  const int32_t* w = Pairs + U * pairs * 4;
  __m128i sum = _mm_set1_epi32(1 << (TTaps::Bits - 1));
  for (size_t k = 0; k < pairs; ++k, p += 2 * Channels, w += 4) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + Channels));
    sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, b),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
  }
  return _mm_srai_epi32(sum, TTaps::Bits);
}

// Four pixels of work values (held to 16 bits, which changes no result)
// back to 8 bits: sixteen samples.
__m128i EightBits(__m128i A, __m128i B, __m128i C, __m128i D) {
  const __m128i round = _mm_set1_epi16(1 << (ToWork - 1));
  const __m128i ab = _mm_srai_epi16(_mm_adds_epi16(_mm_packs_epi32(A, B), round), ToWork);
  const __m128i cd = _mm_srai_epi16(_mm_adds_epi16(_mm_packs_epi32(C, D), round), ToWork);
  return _mm_packus_epi16(ab, cd);
}

// A row of colour pixels filtered across. Tables turn the work values into
// 8 bits (linear light); without them the values are scaled back, four
// pixels at a time.
template <uint32_t Channels>
void AcrossColour(const int16_t* Column, const TTaps& Across, const int32_t* Pairs, uint32_t Width,
                  const uint8_t* const* LinearTables, uint8_t* Out) {
  uint32_t u = 0;
  if (LinearTables == nullptr) {
    for (; u + 4 <= Width; u += 4, Out += 4 * Channels) {
      alignas(16) uint8_t bytes[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(bytes),
                      EightBits(AcrossPixel<Channels>(Column, Across, Pairs, u),
                                AcrossPixel<Channels>(Column, Across, Pairs, u + 1),
                                AcrossPixel<Channels>(Column, Across, Pairs, u + 2),
                                AcrossPixel<Channels>(Column, Across, Pairs, u + 3)));
      if constexpr (Channels == 4) {
        std::memcpy(Out, bytes, 16);
      } else {
        for (int i = 0; i < 4; ++i) std::memcpy(Out + 3 * i, bytes + 4 * i, 3);
      }
    }
  }
  for (; u < Width; ++u, Out += Channels) {
    const __m128i work = AcrossPixel<Channels>(Column, Across, Pairs, u);
    alignas(16) int32_t values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), work);
    for (uint32_t c = 0; c < Channels; ++c) {
      const int32_t value = std::clamp<int32_t>(values[c], 0, WorkMax);
      Out[c] = LinearTables != nullptr ? LinearTables[c][value] : Tables().PlainOut[size_t(value)];
    }
  }
}
#endif

// The weighed sum of old samples brought back to the work scale, rounded.
int32_t WorkValue(int32_t Sum) {
  return (Sum + (1 << (TTaps::Bits - 1))) >> TTaps::Bits;
}

// Two weights in one value, as the vector multiplications take them.
int32_t Pair(int16_t A, int16_t B) {
  return int32_t(uint32_t(uint16_t(A)) | (uint32_t(uint16_t(B)) << 16));
}

}  // namespace

TSide TSide::Shrunk(uint32_t Whole, uint32_t Factor) {
  TSide side;
  side.Factor = std::max(1u, Factor);
  side.Pixels = (Whole + side.Factor - 1) / side.Factor;
  side.Whole = Whole;
  return side;
}

TTaps MakeTaps(const TSide& From, uint32_t To, TFilter Filter, uint32_t Multiple) {
  TTaps taps;
  if (From.Pixels == 0 || To == 0) return taps;
  const double whole = From.WholePixels();
  const double step = whole / To;  // of the whole picture, per new pixel
  std::vector<std::vector<int32_t>> all(To);
  taps.First.resize(To);
  taps.Count.resize(To);
  uint32_t widest = 1;
  for (uint32_t u = 0; u < To; ++u) {
    const double begin = u * step, end = (u + 1) * step, centre = (begin + end) / 2;
    uint32_t first = 0;
    const std::vector<double> raw =
        Filter == TFilter::Area
            ? AreaWeights(From, begin, end, first)
            : LanczosWeights(From, centre, std::max<double>(From.Factor, step), first);
    const auto nearest =
        size_t(std::clamp<double>(centre / From.Factor - first, 0, raw.size() - 1));
    std::vector<int32_t> q = Quantised(raw, nearest);
    // No weights of nothing at either end.
    size_t lead = 0, tail = q.size();
    while (lead + 1 < tail && q[lead] == 0) ++lead;
    while (tail > lead + 1 && q[tail - 1] == 0) --tail;
    all[u].assign(q.begin() + std::ptrdiff_t(lead), q.begin() + std::ptrdiff_t(tail));
    taps.First[u] = first + uint32_t(lead);
    taps.Count[u] = uint32_t(tail - lead);
    widest = std::max(widest, taps.Count[u]);
  }
  Multiple = std::max(1u, Multiple);
  taps.Stride = (widest + Multiple - 1) / Multiple * Multiple;
  taps.Weights.assign(size_t{To} * taps.Stride, 0);
  for (uint32_t u = 0; u < To; ++u) {
    for (uint32_t k = 0; k < taps.Count[u]; ++k) {
      taps.Weights[size_t{u} * taps.Stride + k] =
          int16_t(std::clamp<int32_t>(all[u][k], INT16_MIN, INT16_MAX));
    }
  }
  return taps;
}

struct TResampler::TState {
  TPixelKind Kind;
  bool Linear = false;
  uint32_t InWidth = 0, InHeight = 0, Width = 0, Height = 0;
  TTaps Across, Down;
  std::vector<int32_t> AcrossPairs;  // colour: per new pixel, its weights in pairs, four times each
  std::vector<uint32_t> Ready;       // per new row: the number of old rows it waits for
  uint32_t RingRows = 0;
  size_t RowSamples = 0;        // samples of an old row
  std::vector<uint8_t> Ring8;   // the last old rows as they came
  std::vector<int16_t> Ring16;  // or in linear light
  std::vector<int16_t> Column;  // the new row filtered down, not yet across
  std::vector<int32_t> DownPairs;
  std::vector<const void*> Rows;    // the old rows the new row takes
  const int16_t* InTable[4] = {};   // per channel: 8-bit sample to linear light
  const uint8_t* OutTable[4] = {};  // per channel: work value to 8-bit sample
  TDownFn<uint8_t> Down8 = nullptr;
  TDownFn<int16_t> Down16 = nullptr;
  bool Vectors = false;
  TOutRowFn OutRow;
  uint32_t RowsIn = 0, RowsOut = 0;

  void TakeRow(const uint8_t* Row);
  template <typename TRowFn>
  void EmitReady(TRowFn Row);
  void FilterAcross(uint8_t* Out) const;
  void StorePixel(uint8_t* Out, const int32_t* Work) const;
};

TResampler::TResampler() = default;
TResampler::~TResampler() = default;

void TResampler::SetVectors(TVectors Vectors) {
  VectorsAllowed = Vectors;
}

bool TResampler::Start(const TSide& Across, const TSide& Down, TPixelKind Kind, uint32_t Width,
                       uint32_t Height, TFilter Filter, bool Linear, TOutRowFn OutRow) {
  State_.reset();
  if (Across.Pixels == 0 || Down.Pixels == 0 || Width == 0 || Height == 0 || !OutRow) return false;
  if (Kind.Channels != 1 && Kind.Channels != 3 && Kind.Channels != 4) return false;
  try {
    auto s = std::make_unique<TState>();
    const uint32_t channels = Kind.Channels;
    s->Kind = Kind;
    s->Linear = Linear;
    s->InWidth = Across.Pixels;
    s->InHeight = Down.Pixels;
    s->Width = Width;
    s->Height = Height;
    s->Across = MakeTaps(Across, Width, Filter, channels == 1 ? 8 : 2);
    s->Down = MakeTaps(Down, Height, Filter, 2);
    if (channels > 1) {
      s->AcrossPairs.reserve(size_t{Width} * s->Across.Stride * 2);
      for (size_t k = 0; k < s->Across.Weights.size(); k += 2) {
        s->AcrossPairs.insert(s->AcrossPairs.end(), 4,
                              Pair(s->Across.Weights[k], s->Across.Weights[k + 1]));
      }
    }
    s->Ready.resize(Height);
    uint32_t ready = 0, rows = 1;
    for (uint32_t v = 0; v < Height; ++v) {
      ready = std::max(ready, s->Down.First[v] + s->Down.Count[v]);
      s->Ready[v] = ready;
      rows = std::max(rows, ready - s->Down.First[v]);
    }
    s->RingRows = rows;
    s->RowSamples = size_t{Across.Pixels} * channels;
    uint32_t reach = Across.Pixels;
    for (uint32_t u = 0; u < Width; ++u)
      reach = std::max(reach, s->Across.First[u] + s->Across.Stride);
    // Room for a vector's reach past the last pixel taken, which is 0.
    s->Column.assign(size_t{reach} * channels + 8, 0);
    const TTables& t = Tables();
    for (uint32_t c = 0; c < 4; ++c) {
      const bool colour = Linear && int(c) != Kind.Plain;
      s->InTable[c] = colour ? t.LinearIn.data() : t.PlainIn.data();
      s->OutTable[c] = colour ? t.LinearOut.data() : t.PlainOut.data();
    }
    const TLoops loops = BestLoops(VectorsAllowed);
    s->Vectors = loops != TLoops::Plain;
    s->Down8 = DownLoops<uint8_t, DownShift8>(loops);
    s->Down16 = DownLoops<int16_t, DownShift16>(loops);
    s->OutRow = std::move(OutRow);
    State_ = std::move(s);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void TResampler::AddRow(const uint8_t* Row) {
  TState& s = *State_;
  if (s.RowsIn >= s.InHeight) return;
  s.TakeRow(Row);
  if (s.Linear) {
    s.EmitReady(
        [&s](uint32_t Y) { return s.Ring16.data() + size_t{Y % s.RingRows} * s.RowSamples; });
  } else {
    s.EmitReady(
        [&s](uint32_t Y) { return s.Ring8.data() + size_t{Y % s.RingRows} * s.RowSamples; });
  }
}

void TResampler::AddPicture(const uint8_t* Rows, ptrdiff_t Stride) {
  TState& s = *State_;
  if (s.Linear) {
    while (s.RowsIn < s.InHeight) AddRow(Rows + std::ptrdiff_t(s.RowsIn) * Stride);
    return;
  }
  while (s.RowsIn < s.InHeight) {
    ++s.RowsIn;
    s.EmitReady([&](uint32_t Y) { return Rows + std::ptrdiff_t(Y) * Stride; });
  }
}

bool TResampler::Finish() {
  if (!State_) return false;
  TState& s = *State_;
  const bool whole = s.RowsIn >= s.InHeight;
  const std::vector<uint8_t> black(s.RowSamples, 0);
  while (s.RowsIn < s.InHeight) AddRow(black.data());
  return whole;
}

// Keeps an old row in the ring, in linear light when filtering so.
void TResampler::TState::TakeRow(const uint8_t* Row) {
  const size_t at = size_t{RowsIn % RingRows} * RowSamples;
  ++RowsIn;
  if (!Linear) {
    if (Ring8.empty()) Ring8.assign(size_t{RingRows} * RowSamples, 0);
    std::memcpy(Ring8.data() + at, Row, RowSamples);
    return;
  }
  if (Ring16.empty()) Ring16.assign(size_t{RingRows} * RowSamples, 0);
  int16_t* work = Ring16.data() + at;
  const uint32_t channels = Kind.Channels;
  for (size_t i = 0; i < RowSamples; i += channels) {
    for (uint32_t c = 0; c < channels; ++c) work[i + c] = InTable[c][Row[i + c]];
  }
}

// Makes every new row whose old rows have all come; Row(Y) gives old row Y.
template <typename TRowFn>
void TResampler::TState::EmitReady(TRowFn Row) {
  while (RowsOut < Height && Ready[RowsOut] <= RowsIn) {
    const uint32_t v = RowsOut;
    const uint32_t first = Down.First[v], count = Down.Count[v];
    const int16_t* weights = Down.Weights.data() + size_t{v} * Down.Stride;
    DownPairs.resize((count + 1) / 2);
    for (uint32_t k = 0; k < count; k += 2) {
      DownPairs[k / 2] = Pair(weights[k], k + 1 < count ? weights[k + 1] : int16_t(0));
    }
    using TSample = std::remove_cv_t<std::remove_pointer_t<decltype(Row(0u))>>;
    Rows.resize(count);
    for (uint32_t k = 0; k < count; ++k) Rows[k] = Row(first + k);
    const auto* rows = reinterpret_cast<const TSample* const*>(Rows.data());
    if constexpr (sizeof(TSample) == 1) {
      Down8(rows, DownPairs.data(), count, RowSamples, Column.data());
    } else {
      Down16(rows, DownPairs.data(), count, RowSamples, Column.data());
    }
    FilterAcross(OutRow(v));
    ++RowsOut;
  }
}

// One new pixel from the work values of its channels.
void TResampler::TState::StorePixel(uint8_t* Out, const int32_t* Work) const {
  for (uint32_t c = 0; c < Kind.Channels; ++c) {
    Out[c] = OutTable[c][std::clamp<int32_t>(Work[c], 0, WorkMax)];
  }
}

// The filtered row made Width pixels wide, back to 8-bit samples.
void TResampler::TState::FilterAcross(uint8_t* Out) const {
  const int16_t* column = Column.data();
  const uint32_t channels = Kind.Channels;
  uint32_t u = 0;
#if defined(__SSE2__)
  if (Vectors && channels > 1) {
    const uint8_t* const* tables = Linear ? OutTable : nullptr;
    if (channels == 4) {
      AcrossColour<4>(column, Across, AcrossPairs.data(), Width, tables, Out);
    } else {
      AcrossColour<3>(column, Across, AcrossPairs.data(), Width, tables, Out);
    }
    return;
  }
  if (Vectors) {
    // Grey: eight old pixels at a time.
    for (; u < Width; ++u, ++Out) {
      const int16_t* p = column + Across.First[u];
      const int16_t* w = Across.Weights.data() + size_t{u} * Across.Stride;
      __m128i sum = _mm_setzero_si128();
      for (uint32_t k = 0; k < Across.Count[u]; k += 8) {
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k))));
      }
      sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
      sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 4));
      const int32_t value[1] = {WorkValue(_mm_cvtsi128_si32(sum))};
      StorePixel(Out, value);
    }
    return;
  }
#endif
  for (; u < Width; ++u, Out += channels) {
    const int16_t* w = Across.Weights.data() + size_t{u} * Across.Stride;
    int32_t sums[4] = {0, 0, 0, 0};
    for (uint32_t k = 0; k < Across.Count[u]; ++k) {
      const int16_t* p = column + size_t{Across.First[u] + k} * channels;
      for (uint32_t c = 0; c < channels; ++c) sums[c] += int32_t(w[k]) * p[c];
    }
    for (int32_t& sum : sums) sum = WorkValue(sum);
    StorePixel(Out, sums);
  }
}

bool Resample(const uint8_t* In, ptrdiff_t InStride, const TSide& Across, const TSide& Down,
              TPixelKind Kind, uint8_t* Out, ptrdiff_t OutStride, uint32_t Width, uint32_t Height,
              TFilter Filter, bool Linear) {
  TResampler resampler;
  if (!resampler.Start(Across, Down, Kind, Width, Height, Filter, Linear,
                       [&](uint32_t Y) { return Out + std::ptrdiff_t(Y) * OutStride; }))
    return false;
  resampler.AddPicture(In, InStride);
  return resampler.Finish();
}

QImage Resampled(const QImage& Picture, const TSide& Across, const TSide& Down, uint32_t Width,
                 uint32_t Height, TFilter Filter, bool Linear) {
  if (Picture.isNull() || uint32_t(Picture.width()) != Across.Pixels ||
      uint32_t(Picture.height()) != Down.Pixels || Width > INT32_MAX || Height > INT32_MAX)
    return QImage();
  QImage in = Picture;
  TPixelKind kind{4, 3};
  switch (in.format()) {
    case QImage::Format_Grayscale8:
      kind = {1, -1};
      break;
    case QImage::Format_RGB888:
      kind = {3, -1};
      break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      break;
    default:
      in = in.convertToFormat(QImage::Format_ARGB32);
      break;
  }
  QImage out(int(Width), int(Height), in.format());
  if (out.isNull() || in.isNull()) return QImage();
  if (in.format() == QImage::Format_Grayscale8) out.setColorTable(in.colorTable());
  if (!Resample(in.constBits(), in.bytesPerLine(), Across, Down, kind, out.bits(),
                out.bytesPerLine(), Width, Height, Filter, Linear))
    return QImage();
  return out;
}

}  // namespace pictrim::resampling
