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
// each line's length (a mispredicted one costs as much as copying 64 bytes),
// and, on a path this short, saving registers for calls. So the line is
// copied and upper-cased in whole blocks into padded storage, where reading
// past its end is safe; the first 16 bytes, which hold the level, the tag and
// both their blanks on nearly every line, are looked at in one register; and
// the path that nearly every line takes makes no call. The others (lines to
// trim, long first fields) take a path of their own.

namespace {

constexpr size_t kNone = std::string_view::npos;

// Room kept after the line in both buffers: the copy (of at least 128
// bytes) and the upper-casing in whole blocks of 16 stay inside it, and so
// do the reads past the end of a line that the general overload copied.
constexpr size_t kRoom = 160;

// The bits of positions below n (n < 64).
constexpr uint64_t Below(size_t n) { return (uint64_t{1} << n) - 1; }

// 16 bytes in a register, and what the split does with them.
#if defined(__SSE2__)

using Block16 = __m128i;

inline Block16 Load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(char* p, Block16 block) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), block); }

// Bit i set when byte i is a blank.
inline uint64_t Blanks16(Block16 block) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' '))));
}

// a-z to A-Z; every other byte, those of UTF-8 sequences included, stays as
// it is. Adding 0x80 - 'a' moves a-z to the 26 lowest signed values, which
// one signed comparison picks out.
inline Block16 Uppercase16(Block16 x) {
  const __m128i shifted = _mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(0x80 - 'a')));
  const __m128i lower = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + 26)));
  return _mm_sub_epi8(x, _mm_and_si128(lower, _mm_set1_epi8('a' - 'A')));
}

// The block as two words in the machine's byte order.
inline uint64_t LowWord(Block16 block) { return static_cast<uint64_t>(_mm_cvtsi128_si64(block)); }
inline uint64_t HighWord(Block16 block) {
  return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(block, block)));
}

#else

struct Block16 {
  char bytes[16];
};

inline Block16 Load16(const char* p) {
  Block16 block;
  std::memcpy(block.bytes, p, 16);
  return block;
}
inline void Store16(char* p, Block16 block) { std::memcpy(p, block.bytes, 16); }

inline uint64_t Blanks16(Block16 block) {
  uint64_t mask = 0;
  for (int i = 0; i < 16; ++i) mask |= uint64_t{block.bytes[i] == ' '} << i;
  return mask;
}

inline Block16 Uppercase16(Block16 x) {
  for (char& c : x.bytes) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
  return x;
}

inline uint64_t LowWord(Block16 block) {
  uint64_t word;
  std::memcpy(&word, block.bytes, 8);
  return word;
}
inline uint64_t HighWord(Block16 block) {
  uint64_t word;
  std::memcpy(&word, block.bytes + 8, 8);
  return word;
}

#endif

// The tag's first eight bytes as one word, zero past its end. Nearly every
// tag starts within the first eight bytes, where it is cut from the two
// words of the upper-cased first block in registers: reading it back from
// the buffer just written, at another offset than it was written, makes the
// processor wait until the store is done.
inline uint64_t TagWord(Block16 upperHead, const char* upper, size_t begin, size_t size) {
  uint64_t word;
  if (std::endian::native == std::endian::little && begin < 8) {
    // (high << 1) << (63 - shift) is high << (64 - shift), also for a shift of 0.
    const unsigned shift = static_cast<unsigned>(8 * begin);
    word = (LowWord(upperHead) >> shift) | ((HighWord(upperHead) << 1) << (63 - shift));
  } else {
    std::memcpy(&word, upper + begin, 8);
  }
  if (size >= 8) return word;
  if constexpr (std::endian::native == std::endian::little) return word & Below(8 * size);
  return word & ~(~uint64_t{0} >> (8 * size));
}

// Gives both buffers room for a line of `size` bytes. Only ever grows, and
// then to twice what is needed, so that growing is rare and never per line.
inline bool HasRoom(const std::string& bytes, size_t size) { return size + kRoom <= bytes.size(); }

}  // namespace

struct GedcomLineSplitter {
  static void Grow(GedcomLine& out, size_t size) {
    out.bytes_.resize(2 * (size + kRoom));
    out.upper_.resize(out.bytes_.size());
  }

  static void SingleField(size_t begin, GedcomLine& out) {
    out.multiField_ = false;
    out.levelSize_ = out.tagBegin_ = out.tagSize_ = out.valueSize_ = 0;
    out.tagWord_ = 0;
    out.valueBegin_ = begin;
  }

  // Level, tag and value of the text at p (n bytes, trimmed), of which the
  // copy starts at out.bytes_ + begin, once its first blank (`first`) and
  // the end of its tag (`tagEnd`, the second blank or n) are known and its
  // upper-cased first `tagEnd` bytes are in out.upper_ (the first 16 also in
  // `upperHead`). Level and tag are upper-cased, then trimmed: the trimmed
  // characters are no letters, so they are looked for in the text itself.
  // The text is trimmed already, so the level can only end, and the value
  // only begin, with such characters.
  [[gnu::always_inline]] static void Fields(const char* p, size_t n, size_t begin, size_t first, size_t tagEnd,
                                            Block16 upperHead, GedcomLine& out) {
    out.multiField_ = true;
    size_t levelEnd = first;
    while (levelEnd > 0 && fw::IsTrimmable(p[levelEnd - 1])) --levelEnd;
    out.levelSize_ = levelEnd;

    size_t tagBegin = first + 1;
    size_t tagStop = tagEnd;
    while (tagBegin < tagStop && fw::IsTrimmable(p[tagBegin])) ++tagBegin;
    while (tagStop > tagBegin && fw::IsTrimmable(p[tagStop - 1])) --tagStop;
    out.tagBegin_ = tagBegin;
    out.tagSize_ = tagStop - tagBegin;
    out.tagWord_ = TagWord(upperHead, out.upper_.data(), tagBegin, tagStop - tagBegin);

    size_t valueBegin = tagEnd + size_t{tagEnd < n};
    // Both tests at once: the first differs from line to line, the two
    // together nearly never hold. p[n] is padding, so reading it is safe.
    while (fw::IsTrimmable(p[valueBegin]) & (valueBegin < n)) ++valueBegin;
    out.valueBegin_ = begin + valueBegin;
    out.valueSize_ = n - valueBegin;
  }

  // Any text: its first two blanks are looked for one by one.
  [[gnu::noinline]] static void SplitAnyText(const char* p, size_t n, size_t begin, GedcomLine& out) {
    const std::string_view text(p, n);
    const size_t first = text.find(' ');
    if (first == kNone) return SingleField(begin, out);
    const size_t tagEnd = std::min(text.find(' ', first + 1), n);
    char* const upper = out.upper_.data();
    const Block16 upperHead = Uppercase16(Load16(p));
    Store16(upper, upperHead);
    for (size_t i = 16; i < tagEnd; i += 16) Store16(upper + i, Uppercase16(Load16(p + i)));
    Fields(p, n, begin, first, tagEnd, upperHead, out);
  }

  // The text at p (n bytes, trimmed; `head` holds its first 16), followed by
  // at least 64 readable bytes, of which the copy starts at out.bytes_ +
  // begin. Makes no call unless the first two blanks are not both within the
  // first 16 bytes of a longer text.
  [[gnu::always_inline]] static void SplitText(const char* p, size_t n, size_t begin, Block16 head,
                                               GedcomLine& out) {
    out.textBegin_ = begin;
    out.textSize_ = n;
    // The bytes past the text are masked off.
    const uint64_t inText = Below(std::min<size_t>(n, 16));
    const uint64_t blanks = Blanks16(head) & inText;
    const uint64_t afterFirst = blanks & (blanks - 1);
    // One branch, nearly always taken: both blanks are in the block, or the
    // whole text is. (Or-ed as words, lest the compiler test them apart.)
    if ((afterFirst | uint64_t{n <= 16}) == 0) [[unlikely]] return SplitAnyText(p, n, begin, out);
    if (blanks == 0) [[unlikely]] return SingleField(begin, out);
    const size_t first = static_cast<size_t>(__builtin_ctzll(blanks));
    // The bit past the text stands for its end: no branch on whether there is
    // a second blank, which differs from line to line.
    const size_t tagEnd = static_cast<size_t>(__builtin_ctzll(afterFirst | (inText + 1)));
    // Level and tag end within the block.
    const Block16 upperHead = Uppercase16(head);
    Store16(out.upper_.data(), upperHead);
    Fields(p, n, begin, first, tagEnd, upperHead, out);
  }

  [[gnu::noinline]] static void GrowAndSplit(fw::PaddedText padded, GedcomLine& out) {
    Grow(out, padded.view().size());
    Split(padded, out);
  }

  // The copy at the start of out.bytes_ (`size` bytes), trimmed first.
  [[gnu::noinline]] static void SplitCopyTrimmed(size_t size, GedcomLine& out) {
    const char* const base = out.bytes_.data();
    const std::string_view text = fw::TrimView(std::string_view(base, size));
    SplitText(text.data(), text.size(), static_cast<size_t>(text.data() - base), Load16(text.data()), out);
  }

  // Nearly every line has nothing to trim; the others are trimmed on the copy.
  static bool MayNeedTrim(const char* p, size_t size) {
    return size != 0 && (fw::IsTrimmable(p[0]) || fw::IsTrimmable(p[size - 1]));
  }

  static void Split(std::string_view line, GedcomLine& out) {
    if (!HasRoom(out.bytes_, line.size())) Grow(out, line.size());
    char* const to = out.bytes_.data();
    std::memcpy(to, line.data(), line.size());
    if (MayNeedTrim(to, line.size())) return SplitCopyTrimmed(line.size(), out);
    SplitText(to, line.size(), 0, Load16(to), out);
  }

  // The padding after the line lets it be copied in whole blocks: 128 bytes
  // whatever its length (nearly every line is shorter), then 16 at a time.
  // Everything else reads the line itself rather than the copy just written.
  static void Split(fw::PaddedText padded, GedcomLine& out) {
    static_assert(fw::PaddedText::kPadding >= 128);
    const std::string_view line = padded.view();
    const char* const from = line.data();
    const size_t size = line.size();
    if (!HasRoom(out.bytes_, size)) [[unlikely]] return GrowAndSplit(padded, out);
    char* const to = out.bytes_.data();
    const Block16 head = Load16(from);
    Store16(to, head);
#pragma GCC unroll 7
    for (size_t i = 16; i < 128; i += 16) Store16(to + i, Load16(from + i));
    for (size_t i = 128; i < size; i += 16) Store16(to + i, Load16(from + i));
    if (MayNeedTrim(from, size)) [[unlikely]] return SplitCopyTrimmed(size, out);
    SplitText(from, size, 0, head, out);
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
