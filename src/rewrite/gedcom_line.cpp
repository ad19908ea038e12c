#include "rewrite/gedcom_line.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/text.h"

// This runs once for every line of files with millions of lines, and the
// Modify command should not take much longer than copying the file: hence
// one pass over the bytes, no calls for the short copies, and the strings'
// storage reused from line to line.

namespace {

constexpr size_t kNone = std::string_view::npos;

// The number of bits set in a mask of at most 16 bits (std::popcount is a
// library call unless the build targets a CPU with POPCNT).
constexpr int64_t PopCount16(unsigned x) {
  x = x - ((x >> 1) & 0x5555u);
  x = (x & 0x3333u) + ((x >> 2) & 0x3333u);
  x = (x + (x >> 4)) & 0x0F0Fu;
  return static_cast<int64_t>((x + (x >> 8)) & 0x1Fu);
}

// Where the first two blanks of a text are, and how many blanks it holds.
struct Blanks {
  size_t first = kNone;
  size_t second = kNone;
  int32_t count = 0;
};

#if defined(__SSE2__)

// Sixteen zero bytes followed by sixteen 0xFF bytes: read at offset r, the
// last r bytes of a block are selected.
alignas(64) constexpr unsigned char kTailSelect[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// 0xFF in each byte of the block that is a blank.
[[gnu::always_inline]] inline __m128i BlankBytes(__m128i block) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(' ')); }

// Sixteen bytes at a time, copying them to `to` on the way when the text is
// 16 bytes or longer (the caller copies a shorter one). The bytes past the
// end are never read: a short text is read as two overlapping halves, the
// last part of a long one as the block that ends with it, and bytes seen
// twice are counted once.
[[gnu::always_inline]] inline Blanks ScanBlanks(const char* p, size_t n, char* to) {
  Blanks blanks;
  // Notes the first two blanks among those marked in `mask` (bit k stands
  // for position base + k); later ones need no position.
  auto note = [&blanks](unsigned mask, size_t base) {
    if (blanks.second != kNone || mask == 0) return;
    const size_t at = base + static_cast<size_t>(std::countr_zero(mask));
    if (blanks.first != kNone) {
      blanks.second = at;
      return;
    }
    blanks.first = at;
    mask &= mask - 1;
    if (mask != 0) blanks.second = base + static_cast<size_t>(std::countr_zero(mask));
  };
  // Per-byte counts of blanks, summed at the end; a byte lane holds up to
  // 255, so long texts are summed every 255 blocks.
  __m128i lanes = _mm_setzero_si128();
  int64_t count = 0;
  auto flush = [&lanes, &count] {
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    lanes = _mm_setzero_si128();
  };

  if (n >= 16) {
    size_t i = 0;
    unsigned blocks = 0;
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), block);
      const __m128i marks = BlankBytes(block);
      lanes = _mm_sub_epi8(lanes, marks);
      note(static_cast<unsigned>(_mm_movemask_epi8(marks)), i);
      if (++blocks == 255) {
        flush();
        blocks = 0;
      }
    }
    const size_t rest = n - i;
    if (rest != 0) {
      const __m128i select = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kTailSelect + rest));
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16), block);
      const __m128i marks = _mm_and_si128(BlankBytes(block), select);
      lanes = _mm_sub_epi8(lanes, marks);
      note(static_cast<unsigned>(_mm_movemask_epi8(marks)) >> (16 - rest), i);
    }
  } else if (n >= 4) {
    // Two overlapping halves of 8 (or 4) bytes; the second half's bytes that
    // the first one covers too are dropped before counting.
    const size_t half = n >= 8 ? 8 : 4;
    __m128i head, tail;
    if (half == 8) {
      head = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      tail = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + n - 8));
    } else {
      int32_t h, t;
      std::memcpy(&h, p, 4);
      std::memcpy(&t, p + n - 4, 4);
      head = _mm_cvtsi32_si128(h);
      tail = _mm_cvtsi32_si128(t);
    }
    const auto headMask = static_cast<unsigned>(_mm_movemask_epi8(BlankBytes(head))) & ((1u << half) - 1);
    const auto tailMask = static_cast<unsigned>(_mm_movemask_epi8(BlankBytes(tail))) & ((1u << half) - 1);
    const unsigned mask = headMask | (tailMask << (n - half));
    note(mask, 0);
    count = PopCount16(mask);
  } else {
    unsigned mask = 0;
    for (size_t k = 0; k < n; ++k) mask |= unsigned{p[k] == ' '} << k;
    note(mask, 0);
    count = PopCount16(mask);
  }
  flush();
  blanks.count = static_cast<int32_t>(count);
  return blanks;
}

#else

[[gnu::always_inline]] inline Blanks ScanBlanks(const char* p, size_t n, char* to) {
  if (n >= 16) std::memcpy(to, p, n);
  Blanks blanks;
  for (size_t k = 0; k < n; ++k) {
    if (p[k] != ' ') continue;
    ++blanks.count;
    if (blanks.first == kNone) {
      blanks.first = k;
    } else if (blanks.second == kNone) {
      blanks.second = k;
    }
  }
  return blanks;
}

#endif

// a-z to A-Z in every byte of a word at once; bytes with the high bit set
// (parts of UTF-8 sequences) stay as they are.
template <class Word>
constexpr Word UppercaseWord(Word w) {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;  // 0x0101...
  constexpr Word kHigh = kOnes * 0x80;
  const Word seven = w & ~kHigh;
  const Word atLeastA = seven + kOnes * (0x80 - 'a');
  const Word aboveZ = seven + kOnes * (0x80 - 'z' - 1);
  const Word lower = atLeastA & ~aboveZ & ~w & kHigh;
  return static_cast<Word>(w ^ (lower >> 2));
}

constexpr char UppercaseChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

// Copies n bytes (n <= 16) without a call: two overlapping moves of whole
// words cover it. Writing whole words also lets the next read of the tag as
// a word be served from the store buffer instead of stalling.
template <bool kUppercase>
[[gnu::always_inline]] inline void CopyShort(char* to, const char* from, size_t n) {
  auto move = [&](auto word) {
    using Word = decltype(word);
    Word head, tail;
    std::memcpy(&head, from, sizeof(Word));
    std::memcpy(&tail, from + n - sizeof(Word), sizeof(Word));
    if constexpr (kUppercase) {
      head = UppercaseWord(head);
      tail = UppercaseWord(tail);
    }
    std::memcpy(to, &head, sizeof(Word));
    std::memcpy(to + n - sizeof(Word), &tail, sizeof(Word));
  };
  if (n >= 8) {
    move(uint64_t{});
  } else if (n >= 4) {
    move(uint32_t{});
  } else if (n > 0) {
    auto byte = [](char c) { return kUppercase ? UppercaseChar(c) : c; };
    to[0] = byte(from[0]);
    to[n / 2] = byte(from[n / 2]);
    to[n - 1] = byte(from[n - 1]);
  }
}

// Copies n bytes, without a call up to 64 (nearly every line).
[[gnu::always_inline]] inline void Copy(char* to, const char* from, size_t n) {
  if (n <= 16) {
    CopyShort<false>(to, from, n);
  } else if (n <= 32) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n <= 64) {
    std::memcpy(to, from, 32);
    std::memcpy(to + n - 32, from + n - 32, 32);
  } else {
    std::memcpy(to, from, n);
  }
}

// Gives `s` the length n, keeping its storage. Only growing calls into the
// library; the bytes are overwritten right after.
[[gnu::always_inline]] inline void SetLength(std::string& s, size_t n) {
  if (n > s.size()) {
    s.resize(n);
  } else {
    s.erase(n);
  }
}

// Sets `into` to [from, from + n), reusing its storage.
[[gnu::always_inline]] inline void SetField(std::string& into, const char* from, size_t n) {
  SetLength(into, n);
  Copy(into.data(), from, n);
}

// The same with a-z upper-cased, for the level and the tag.
[[gnu::always_inline]] inline void SetUppercaseField(std::string& into, const char* from, size_t n) {
  SetLength(into, n);
  char* to = into.data();
  if (n <= 16) {
    CopyShort<true>(to, from, n);
  } else {
    for (size_t i = 0; i < n; ++i) to[i] = UppercaseChar(from[i]);
  }
}

}  // namespace

// The input stream has already decoded the line to UTF-8, so no conversion is
// needed here. Only the blank separates fields; tabs and every other
// character belong to the field they stand in.
void SplitGedcomLine(std::string_view line, GedcomLine& out) {
  // Nearly every line has nothing to trim: the call is made only for those
  // that may.
  const bool mayTrim = !line.empty() && (fw::IsTrimmable(line.front()) || fw::IsTrimmable(line.back()));
  const std::string_view text = mayTrim ? fw::TrimView(line) : line;
  SetLength(out.text, text.size());
  if (text.size() < 16) CopyShort<false>(out.text.data(), text.data(), text.size());
  const Blanks blanks = ScanBlanks(text.data(), text.size(), out.text.data());
  if (blanks.count == 0) {
    out.fieldCount = text.empty() ? 0 : 1;
    out.level.clear();
    out.tag.clear();
    out.value.clear();
    return;
  }
  out.fieldCount = blanks.count + 1;

  // Each field is trimmed with the set that fw::TrimView uses. Upper-casing
  // first and trimming after, or the other way round, give the same: the
  // trimmed characters are no letters. The text is trimmed already, so the
  // level can only end, and the value only begin, with such characters.
  const char* begin = text.data();
  const char* end = begin + text.size();

  const char* levelEnd = begin + blanks.first;
  while (levelEnd > begin && fw::IsTrimmable(levelEnd[-1])) --levelEnd;
  SetUppercaseField(out.level, begin, static_cast<size_t>(levelEnd - begin));

  const char* tagBegin = begin + blanks.first + 1;
  const char* tagEnd = blanks.second == kNone ? end : begin + blanks.second;
  while (tagBegin < tagEnd && fw::IsTrimmable(*tagBegin)) ++tagBegin;
  while (tagEnd > tagBegin && fw::IsTrimmable(tagEnd[-1])) --tagEnd;
  SetUppercaseField(out.tag, tagBegin, static_cast<size_t>(tagEnd - tagBegin));

  if (blanks.second == kNone) {
    out.value.clear();
  } else {
    const char* valueBegin = begin + blanks.second + 1;
    while (valueBegin < end && fw::IsTrimmable(*valueBegin)) ++valueBegin;
    SetField(out.value, valueBegin, static_cast<size_t>(end - valueBegin));
  }
}

GedcomLine SplitGedcomLine(std::string_view line) {
  GedcomLine result;
  SplitGedcomLine(line, result);
  return result;
}
