// The loops over every byte of a file that the input streams run: skipping
// ASCII, decoding UTF-16, making line ends LF. Each comes in a version for
// 16-byte vectors (SSE2, which every x86-64 processor has) and, chosen when
// the program starts, one for 32-byte vectors where the processor has AVX2.

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "framework/text_internal.h"

namespace fw::detail {
namespace {

#if defined(__x86_64__)

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

const unsigned char* SkipAsciiSse2(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 16) {
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
  while (p < end && *p < 0x80) ++p;
  return p;
}

__attribute__((target("avx2"))) const unsigned char* SkipAsciiAvx2(const unsigned char* p, const unsigned char* end) {
  while (end - p >= 32) {
    const auto mask =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 32;
  }
  return SkipAsciiSse2(p, end);
}

// Code units below 0x80, converted to bytes as long as they come: `units`
// code units at `in` are decoded while they are such, and the number decoded
// is returned. Writes up to 16 bytes past what it decodes.
std::size_t AsciiUnitsSse2(const unsigned char* in, std::size_t units, bool bigEndian, char* out) {
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  std::size_t i = 0;
  for (; units - i >= 8; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    if (bigEndian) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    const __m128i ok = _mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    const auto bad = ~static_cast<unsigned>(_mm_movemask_epi8(ok)) & 0xFFFFu;
    if (bad != 0) return i + __builtin_ctz(bad) / 2;
  }
  return i;
}

__attribute__((target("avx2"))) std::size_t AsciiUnitsAvx2(const unsigned char* in, std::size_t units,
                                                           bool bigEndian, char* out) {
  const __m256i high = _mm256_set1_epi16(static_cast<short>(0xFF80));
  std::size_t i = 0;
  for (; units - i >= 16; i += 16) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
    if (bigEndian) v = _mm256_or_si256(_mm256_slli_epi16(v, 8), _mm256_srli_epi16(v, 8));
    const __m256i ok = _mm256_cmpeq_epi16(_mm256_and_si256(v, high), _mm256_setzero_si256());
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    const auto bad = ~static_cast<unsigned>(_mm256_movemask_epi8(ok));
    if (bad != 0) return i + __builtin_ctz(bad) / 2;
  }
  return i + AsciiUnitsSse2(in + 2 * i, units - i, bigEndian, out + i);
}

#endif

}  // namespace

const unsigned char* SkipAscii(const unsigned char* p, const unsigned char* end) {
#if defined(__x86_64__)
  return HasAvx2() ? SkipAsciiAvx2(p, end) : SkipAsciiSse2(p, end);
#else
  while (p < end && *p < 0x80) ++p;
  return p;
#endif
}

std::size_t Utf16Decoder::Decode(const unsigned char* in, std::size_t units, char* out) {
  std::size_t made = 0;
  std::size_t i = 0;
  while (i < units) {
#if defined(__x86_64__)
    if (pendingHigh == 0) {
      const std::size_t ascii = HasAvx2() ? AsciiUnitsAvx2(in + 2 * i, units - i, bigEndian, out + made)
                                          : AsciiUnitsSse2(in + 2 * i, units - i, bigEndian, out + made);
      i += ascii;
      made += ascii;
      if (i == units) break;
    }
#endif
    const unsigned char* at = in + 2 * i;
    const auto unit = static_cast<char16_t>(bigEndian ? (at[0] << 8) | at[1] : at[0] | (at[1] << 8));
    ++i;
    if (pendingHigh != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        const char32_t code = 0x10000 + ((char32_t{pendingHigh} - 0xD800) << 10) + (unit - 0xDC00u);
        made += PutUtf8(code, out + made);
        pendingHigh = 0;
        continue;
      }
      made += PutUtf8(0xFFFD, out + made);
      pendingHigh = 0;
    }
    if (unit < 0x80) {
      out[made++] = static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      pendingHigh = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      made += PutUtf8(0xFFFD, out + made);
    } else {
      made += PutUtf8(unit, out + made);
    }
  }
  return made;
}

std::size_t Utf16Decoder::Finish(bool oddByte, char* out) {
  std::size_t made = 0;
  if (pendingHigh != 0) {
    made += PutUtf8(0xFFFD, out);
    pendingHigh = 0;
  }
  if (oddByte) made += PutUtf8(0xFFFD, out + made);  // half a code unit
  return made;
}

std::size_t MakeLineEndsLf(char* text, std::size_t size) {
  auto* cr = static_cast<char*>(std::memchr(text, '\r', size));
  if (cr == nullptr) return size;
  char* to = cr;
  const char* from = cr;
  const char* const end = text + size;
  while (from < end) {
    // At a CR: with the LF after it, or alone, it ends the line with one LF.
    *to++ = '\n';
    from += (from + 1 < end && from[1] == '\n') ? 2 : 1;
    const auto* next = static_cast<const char*>(std::memchr(from, '\r', static_cast<std::size_t>(end - from)));
    const char* stop = next != nullptr ? next : end;
    std::memmove(to, from, static_cast<std::size_t>(stop - from));
    to += stop - from;
    from = stop;
  }
  return static_cast<std::size_t>(to - text);
}

}  // namespace fw::detail
