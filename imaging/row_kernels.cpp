#include "imaging/row_kernels.h"

#include <bit>
#include <cstring>

namespace quvex::rows {

static_assert(std::endian::native == std::endian::little, "samples are stored little-endian");

namespace {

uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, sizeof v); }

bool Apart(const uint8_t* d, size_t destinationBytes, const uint8_t* s, size_t sourceBytes) {
  const auto first = reinterpret_cast<uintptr_t>(d);
  const auto second = reinterpret_cast<uintptr_t>(s);
  return first + destinationBytes <= second || second + sourceBytes <= first;
}

// Runs op over whole blocks of pixels; a fixed block length lets the compiler
// vectorise without a remainder loop. Returns the number of pixels done.
template <size_t InBytes, size_t OutBytes, typename Op>
inline size_t MapBlocks(uint8_t* __restrict d, const uint8_t* __restrict s, size_t count, Op op) {
  constexpr size_t kBlock = 32;
  size_t done = 0;
  for (; done + kBlock <= count; done += kBlock) {
    for (size_t k = done; k < done + kBlock; ++k) op(d + k * OutBytes, s + k * InBytes);
  }
  return done;
}

// The blocks when the rows are apart, then the remaining pixels one by one.
template <size_t InBytes, size_t OutBytes, typename Op>
inline void MapPixels(uint8_t* d, const uint8_t* s, size_t count, Op op) {
  size_t done = 0;
  if (Apart(d, count * OutBytes, s, count * InBytes)) done = MapBlocks<InBytes, OutBytes>(d, s, count, op);
  for (; done < count; ++done) op(d + done * OutBytes, s + done * InBytes);
}

void ScaleOne(uint8_t* o, const uint8_t* i) { Store16(o, SampleTo16Bits(Load16(i))); }

void SwapOne24(uint8_t* o, const uint8_t* i) {
  const uint8_t blue = i[0], green = i[1], red = i[2];
  o[0] = red;
  o[1] = green;
  o[2] = blue;
}

// The two kernels that carry the most data get wider vectors where the
// processor has them, chosen once at run time (a plain test, not an
// ifunc, so sanitizers that start late still see every call).
size_t ScaleBlocksPortable(uint8_t* __restrict d, const uint8_t* __restrict s, size_t count) {
  return MapBlocks<2, 2>(d, s, count, ScaleOne);
}

[[gnu::target("avx2")]] size_t ScaleBlocksAvx2(uint8_t* __restrict d, const uint8_t* __restrict s,
                                               size_t count) {
  return MapBlocks<2, 2>(d, s, count, ScaleOne);
}

size_t ScaleBlocks(uint8_t* d, const uint8_t* s, size_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? ScaleBlocksAvx2(d, s, count) : ScaleBlocksPortable(d, s, count);
}

// Five pixels per 16-byte step through one byte shuffle; the sixteenth byte
// passes unchanged and is rewritten by the next step or by the caller.
[[gnu::target("ssse3")]] size_t SwapBlocks24Ssse3(uint8_t* __restrict d,
                                                  const uint8_t* __restrict s, size_t count) {
  using Bytes16 [[gnu::vector_size(16)]] = uint8_t;
  const size_t bytes = 3 * count;
  size_t offset = 0;
  for (; offset + sizeof(Bytes16) <= bytes; offset += 15) {
    Bytes16 v;
    std::memcpy(&v, s + offset, sizeof v);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::memcpy(d + offset, &v, sizeof v);
  }
  return offset / 3;
}

// Without the shuffle the caller's pixel loop does all of it.
size_t SwapBlocks24(uint8_t* d, const uint8_t* s, size_t count) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  return ssse3 ? SwapBlocks24Ssse3(d, s, count) : 0;
}

}  // namespace

void NarrowSamples(uint8_t* d, const uint8_t* s, size_t count) {
  MapPixels<2, 1>(d, s, count, [](uint8_t* o, const uint8_t* i) { o[0] = SampleTo8Bits(Load16(i)); });
}

void DropFourthByte(uint8_t* d, const uint8_t* s, size_t count) {
  MapPixels<4, 3>(d, s, count, [](uint8_t* o, const uint8_t* i) {
    const uint8_t b0 = i[0], b1 = i[1], b2 = i[2];
    o[0] = b0;
    o[1] = b1;
    o[2] = b2;
  });
}

void NarrowColorSamples(uint8_t* d, const uint8_t* s, size_t count, size_t sourcePixelBytes) {
  const auto narrow = [](uint8_t* o, const uint8_t* i) {
    const uint16_t s0 = Load16(i), s1 = Load16(i + 2), s2 = Load16(i + 4);
    o[0] = SampleTo8Bits(s0);
    o[1] = SampleTo8Bits(s1);
    o[2] = SampleTo8Bits(s2);
  };
  if (sourcePixelBytes == 8) {
    MapPixels<8, 3>(d, s, count, narrow);
  } else {
    MapPixels<6, 3>(d, s, count, narrow);
  }
}

void ScaleSamples(uint8_t* d, const uint8_t* s, size_t sampleCount) {
  size_t done = 0;
  if (Apart(d, 2 * sampleCount, s, 2 * sampleCount)) done = ScaleBlocks(d, s, sampleCount);
  for (; done < sampleCount; ++done) ScaleOne(d + 2 * done, s + 2 * done);
}

void SwapRedBlue24(uint8_t* d, const uint8_t* s, size_t count) {
  size_t done = 0;
  if (Apart(d, 3 * count, s, 3 * count)) done = SwapBlocks24(d, s, count);
  for (; done < count; ++done) SwapOne24(d + 3 * done, s + 3 * done);
}

void SwapRedBlue32(uint8_t* d, const uint8_t* s, size_t count) {
  MapPixels<4, 4>(d, s, count, [](uint8_t* o, const uint8_t* i) {
    const uint8_t blue = i[0], green = i[1], red = i[2], alpha = i[3];
    o[0] = red;
    o[1] = green;
    o[2] = blue;
    o[3] = alpha;
  });
}

void SwapScaleSamples48(uint8_t* d, const uint8_t* s, size_t count) {
  MapPixels<6, 6>(d, s, count, [](uint8_t* o, const uint8_t* i) {
    const uint16_t s0 = Load16(i), s1 = Load16(i + 2), s2 = Load16(i + 4);
    Store16(o, SampleTo16Bits(s2));
    Store16(o + 2, SampleTo16Bits(s1));
    Store16(o + 4, SampleTo16Bits(s0));
  });
}

void SwapScaleSamples64(uint8_t* d, const uint8_t* s, size_t count) {
  MapPixels<8, 8>(d, s, count, [](uint8_t* o, const uint8_t* i) {
    const uint16_t s0 = Load16(i), s1 = Load16(i + 2), s2 = Load16(i + 4), s3 = Load16(i + 6);
    Store16(o, SampleTo16Bits(s2));
    Store16(o + 2, SampleTo16Bits(s1));
    Store16(o + 4, SampleTo16Bits(s0));
    Store16(o + 6, SampleTo16Bits(s3));
  });
}

}  // namespace quvex::rows
