#include "rewrite/gedcom_line.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// This runs once for every line of files with millions of lines, and the
// Modify command should not take much longer than copying the file. What
// costs most on such a file is not the bytes but the branches that depend on
// each line's length: a mispredicted one costs as much as copying 64 bytes.
// So the line is copied, scanned and upper-cased in whole blocks into padded
// storage, where reading past its end is safe, and only lines longer than
// nearly all take another path.

namespace {

constexpr size_t kNone = std::string_view::npos;

// Room kept after the line in both buffers: the copy (of at least 128 bytes)
// and the upper-casing in whole blocks, and the scan of a line copied there by the general overload,
// which reads up to 63 bytes past the line's end, all stay inside it.
constexpr size_t kRoom = 160;

// The bits of positions below n, for n of any size, without a branch.
constexpr uint64_t Below(size_t n) {
  return ~(~uint64_t{0} << (n & 63)) | (uint64_t{0} - uint64_t{n >= 64});
}

#if defined(__SSE2__)

inline __m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

inline void Copy32(char* to, const char* from) {
  const __m128i a = Load(from);
  const __m128i b = Load(from + 16);
  Store(to, a);
  Store(to + 16, b);
}

// 64 bytes held in registers, so that the line's first bytes are loaded once
// for the copy, the scan for blanks and the upper-casing.
struct Block64 {
  __m128i part[4];
};

inline Block64 Load64(const char* p) { return {{Load(p), Load(p + 16), Load(p + 32), Load(p + 48)}}; }

inline void Store64(char* p, const Block64& block) {
  for (int i = 0; i < 4; ++i) Store(p + 16 * i, block.part[i]);
}

// Bit i set when byte i of the block is a blank.
inline uint64_t Blanks64(const Block64& block) {
  const __m128i blank = _mm_set1_epi8(' ');
  uint64_t mask = 0;
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block.part[i], blank)));
    mask |= uint64_t{bits} << (16 * i);
  }
  return mask;
}

// a-z to A-Z in 16 bytes; every other byte, those of UTF-8 sequences
// included, stays as it is. Adding 0x80 - 'a' moves a-z to the 26 lowest
// signed values, which one signed comparison picks out.
inline __m128i Uppercase16(__m128i x) {
  const __m128i shifted = _mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(0x80 - 'a')));
  const __m128i lower = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + 26)));
  return _mm_sub_epi8(x, _mm_and_si128(lower, _mm_set1_epi8('a' - 'A')));
}

// The first 16 bytes upper-cased, as two words in the machine's order.
struct Head16 {
  uint64_t low;
  uint64_t high;
};

// Stores the first 32 bytes of the block upper-cased.
inline Head16 StoreUppercase32(char* to, const Block64& block) {
  const __m128i a = Uppercase16(block.part[0]);
  const __m128i b = Uppercase16(block.part[1]);
  Store(to, a);
  Store(to + 16, b);
  return {static_cast<uint64_t>(_mm_cvtsi128_si64(a)), static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(a, a)))};
}

inline void Uppercase32(char* to, const char* from) {
  Store(to, Uppercase16(Load(from)));
  Store(to + 16, Uppercase16(Load(from + 16)));
}

#else

inline void Copy32(char* to, const char* from) { std::memcpy(to, from, 32); }

struct Block64 {
  char bytes[64];
};

inline Block64 Load64(const char* p) {
  Block64 block;
  std::memcpy(block.bytes, p, 64);
  return block;
}

inline void Store64(char* p, const Block64& block) { std::memcpy(p, block.bytes, 64); }

inline uint64_t Blanks64(const Block64& block) {
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= uint64_t{block.bytes[i] == ' '} << i;
  return mask;
}

inline void Uppercase32(char* to, const char* from) {
  for (int i = 0; i < 32; ++i) to[i] = (from[i] >= 'a' && from[i] <= 'z') ? static_cast<char>(from[i] - ('a' - 'A')) : from[i];
}

struct Head16 {
  uint64_t low;
  uint64_t high;
};

inline Head16 StoreUppercase32(char* to, const Block64& block) {
  Uppercase32(to, block.bytes);
  Head16 head;
  std::memcpy(&head.low, to, 8);
  std::memcpy(&head.high, to + 8, 8);
  return head;
}

#endif

// The tag's first eight bytes as one word, zero past its end. Nearly every
// tag starts within the first eight bytes, where it is cut from the two
// words of `head` in registers.
inline uint64_t TagWord(Head16 head, const char* upper, size_t begin, size_t size) {
  uint64_t word;
  if (std::endian::native == std::endian::little && begin < 8) {
    // (high << 1) << (63 - shift) is high << (64 - shift), also for a shift of 0.
    const unsigned shift = static_cast<unsigned>(8 * begin);
    word = (head.low >> shift) | ((head.high << 1) << (63 - shift));
  } else {
    std::memcpy(&word, upper + begin, 8);
  }
  if constexpr (std::endian::native == std::endian::little) return size >= 8 ? word : word & ((uint64_t{1} << (8 * size)) - 1);
  return size >= 8 ? word : word & ~(~uint64_t{0} >> (8 * size));
}

// Gives both buffers room for a line of `size` bytes. Only ever grows, and then
// to twice what is needed, so that growing is rare and never per line.
inline void Room(std::string& bytes, std::string& upper, size_t size) {
  if (size + kRoom > bytes.size()) [[unlikely]] {
    bytes.resize(2 * (size + kRoom));
    upper.resize(bytes.size());
  }
}

}  // namespace

struct GedcomLineSplitter {
  // Splits the line at `line`, of which a copy is at the start of
  // out.bytes_; `first64` holds its first 64 bytes. Both are followed by at
  // least 64 readable bytes. Everything is read from `line`: reading back
  // what was just stored, at another offset than it was stored, makes the
  // processor wait until the store is done.
  [[gnu::always_inline]] static void Split(const char* const line, const size_t size, Block64 first64,
                                           GedcomLine& out) {
    // Nearly every line has nothing to trim: the call is made only for those
    // that may.
    std::string_view text(line, size);
    if (size != 0 && (fw::IsTrimmable(text.front()) || fw::IsTrimmable(text.back()))) {
      text = fw::TrimView(text);
      first64 = Load64(text.data());
    }
    const char* const p = text.data();
    const size_t n = text.size();
    out.textBegin_ = static_cast<size_t>(p - line);
    out.textSize_ = n;

    // Only the first two blanks matter here; they are nearly always within
    // the first 64 bytes, which are scanned at once. The bytes past the text
    // are read as well, and masked off.
    const uint64_t inText = Below(n);
    const uint64_t head = Blanks64(first64) & inText;
    // Level and tag are upper-cased together, then trimmed; the trimmed
    // characters are no letters, so the order does not matter, and they are
    // looked for in the line itself. The first 32 bytes are upper-cased here,
    // before any call, so that the block need not be kept across one.
    char* const upper = out.upper_.data();
    const Head16 upperHead = StoreUppercase32(upper, first64);
    const uint64_t afterFirst = head & (head - 1);
    size_t first;
    size_t tagEnd;  // the second blank, or the end of a two-field line
    if ((afterFirst != 0) | (n < 64)) {  // one branch, nearly always taken
      first = head != 0 ? static_cast<size_t>(__builtin_ctzll(head)) : kNone;
      // The bit past the text stands for the end: no branch for whether there
      // is a second blank, which differs from line to line.
      tagEnd = static_cast<size_t>(__builtin_ctzll(afterFirst | (inText + 1)));
    } else {
      first = text.find(' ');
      tagEnd = first == kNone ? n : std::min(text.find(' ', first + 1), n);
    }
    out.multiField_ = first != kNone;
    if (first == kNone) {
      out.levelSize_ = out.tagBegin_ = out.tagSize_ = out.valueSize_ = 0;
      out.tagWord_ = 0;
      out.valueBegin_ = out.textBegin_;
      return;
    }

    // The text is trimmed already, so the level can only end, and the value
    // only begin, with trimmed characters.
    for (size_t i = 32; i < tagEnd; i += 32) Uppercase32(upper + i, p + i);

    size_t levelEnd = first;
    while (levelEnd > 0 && fw::IsTrimmable(p[levelEnd - 1])) --levelEnd;
    out.levelSize_ = levelEnd;

    size_t tagBegin = first + 1;
    size_t tagStop = tagEnd;
    while (tagBegin < tagStop && fw::IsTrimmable(p[tagBegin])) ++tagBegin;
    while (tagStop > tagBegin && fw::IsTrimmable(p[tagStop - 1])) --tagStop;
    out.tagBegin_ = tagBegin;
    out.tagSize_ = tagStop - tagBegin;
    out.tagWord_ = TagWord(upperHead, upper, tagBegin, tagStop - tagBegin);

    size_t valueBegin = tagEnd + size_t{tagEnd < n};
    // Both tests at once: the first differs from line to line, the two
    // together nearly never hold. p[n] is padding, so reading it is safe.
    while (fw::IsTrimmable(p[valueBegin]) & (valueBegin < n)) ++valueBegin;
    out.valueBegin_ = out.textBegin_ + valueBegin;
    out.valueSize_ = n - valueBegin;
  }

  static void Split(std::string_view line, GedcomLine& out) {
    Room(out.bytes_, out.upper_, line.size());
    char* const to = out.bytes_.data();
    std::memcpy(to, line.data(), line.size());
    Split(to, line.size(), Load64(to), out);
  }

  // The padding after the line lets it be copied in whole blocks: 128 bytes
  // whatever its length (nearly every line is shorter), then 32 at a time.
  static void Split(fw::PaddedText padded, GedcomLine& out) {
    static_assert(fw::PaddedText::kPadding >= 128);
    const std::string_view line = padded.view();
    Room(out.bytes_, out.upper_, line.size());
    char* const to = out.bytes_.data();
    const char* const from = line.data();
    const Block64 first64 = Load64(from);
    Store64(to, first64);
    Store64(to + 64, Load64(from + 64));
    for (size_t i = 128; i < line.size(); i += 32) Copy32(to + i, from + i);
    Split(from, line.size(), first64, out);
  }
};

// The input stream has already decoded the line to UTF-8, so no conversion is
// needed here. Only the blank separates fields; tabs and every other
// character belong to the field they stand in.
void SplitGedcomLine(std::string_view line, GedcomLine& out) { GedcomLineSplitter::Split(line, out); }

void SplitGedcomLine(fw::PaddedText line, GedcomLine& out) { GedcomLineSplitter::Split(line, out); }

// Counted when asked for, which the line rules never do: they only need to
// know whether there is a blank at all.
int32_t GedcomLine::fieldCount() const {
  const std::string_view t = text();
  if (t.empty()) return 0;
  size_t blanks = 0;
  for (const char c : t) blanks += c == ' ';
  return static_cast<int32_t>(blanks + 1);
}

GedcomLine SplitGedcomLine(std::string_view line) {
  GedcomLine result;
  SplitGedcomLine(line, result);
  return result;
}
