#include "framework/text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/text_internal.h"

namespace fw {
namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Windows-1252 for the bytes 0x80-0x9F. The five bytes it leaves undefined
// keep their own value, as the C1 control of that code, so that every byte
// has a character and none is lost.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// What a lead byte asks of the bytes after it: how many bytes the sequence
// has in all (0 when the byte leads none), and the range of the second one.
// That range depends on the lead byte: it is what rules out overlong forms,
// encoded surrogates and codes above U+10FFFF.
struct Lead {
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
};

Lead LeadOf(unsigned char lead) {
  Lead l;
  if (lead < 0x80) {
    l.length = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    l.length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    l.length = 3;
    if (lead == 0xE0) l.low = 0xA0;
    if (lead == 0xED) l.high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    l.length = 4;
    if (lead == 0xF0) l.low = 0x90;
    if (lead == 0xF4) l.high = 0x8F;
  }
  return l;
}

// The bytes after the lead, as many as there are up to `count`, are what
// the lead asks for.
bool FollowersFit(const unsigned char* p, std::size_t count, const Lead& l) {
  if (count >= 2 && (p[1] < l.low || p[1] > l.high)) return false;
  for (std::size_t i = 2; i < count; ++i) {
    if (!IsContinuation(p[i])) return false;
  }
  return true;
}

}  // namespace

namespace detail {

char32_t Windows1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kWindows1252High[byte - 0x80];
  return byte;
}

std::size_t SequenceLength(const unsigned char* p, const unsigned char* end) {
  const Lead l = LeadOf(p[0]);
  if (l.length == 0 || static_cast<std::size_t>(end - p) < l.length) return 0;
  return FollowersFit(p, l.length, l) ? l.length : 0;
}

bool CutShort(const unsigned char* p, const unsigned char* end) {
  const Lead l = LeadOf(p[0]);
  const auto have = static_cast<std::size_t>(end - p);
  return have < l.length && FollowersFit(p, have, l);
}

char32_t DecodeSequence(const unsigned char* p, std::size_t length) {
  switch (length) {
    case 1:
      return p[0];
    case 2:
      return (char32_t{p[0] & 0x1Fu} << 6) | (p[1] & 0x3Fu);
    case 3:
      return (char32_t{p[0] & 0x0Fu} << 12) | (char32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
    default:
      return (char32_t{p[0] & 0x07u} << 18) | (char32_t{p[1] & 0x3Fu} << 12) |
             (char32_t{p[2] & 0x3Fu} << 6) | (p[3] & 0x3Fu);
  }
}

}  // namespace detail

namespace {

// A place in a text (from 0) as a position (from 1). A place past the
// largest 32-bit position, in a line of gigabytes, is given as that position:
// wrapped to a negative number, a marker found there would read as missing.
int32_t Position(std::size_t place) {
  return place < static_cast<std::size_t>(INT32_MAX) ? static_cast<int32_t>(place + 1) : INT32_MAX;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

void AppendUtf16Le(char32_t code, std::string& out) {
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  if (code < 0x10000) {
    put(code);
  } else {
    code -= 0x10000;
    put(0xD800 + (code >> 10));
    put(0xDC00 + (code & 0x3FF));
  }
}

}  // namespace

namespace detail {

std::size_t WellFormedUtf8Prefix(std::string_view bytes) {
  const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = begin + bytes.size();
  const auto* p = begin;
  while (p < end) {
    // Most text is ASCII: step over it in whole blocks, straight to the
    // first byte that isn't.
    p = SkipAscii(p, end);
    if (p == end) break;
    // Two-byte sequences (Latin letters with accents) are by far the most common.
    if (*p >= 0xC2 && *p <= 0xDF && end - p >= 2 && IsContinuation(p[1])) {
      p += 2;
      continue;
    }
    const std::size_t length = SequenceLength(p, end);
    if (length == 0) break;
    p += length;
  }
  return static_cast<std::size_t>(p - begin);
}

void AppendUtf8(char32_t code, std::string& out) {
  if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  char buffer[4];
  out.append(buffer, PutUtf8(code, buffer));
}

}  // namespace detail

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string Uppercase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return result;
}

int32_t CountFields(std::string_view text, std::string_view separator) {
  if (text.empty()) return 0;
  if (separator.empty()) return 1;
  int32_t count = 1;
  for (std::size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, at + separator.size())) {
    ++count;
  }
  return count;
}

std::string NthField(std::string_view text, std::string_view separator, int32_t n) {
  if (n < 1 || text.empty()) return {};
  if (separator.empty()) return n == 1 ? std::string(text) : std::string();
  std::size_t start = 0;
  for (int32_t field = 1; field < n; ++field) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) return {};
    start = at + separator.size();
  }
  const std::size_t stop = text.find(separator, start);
  return std::string(text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start));
}

int32_t InStr(int32_t start, std::string_view source, std::string_view find) {
  if (find.empty()) return 0;
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= source.size() || source.size() - from < find.size()) return 0;
  const std::size_t lastStart = source.size() - find.size();
  auto restMatchesAt = [&](std::size_t i) {
    for (std::size_t k = 1; k < find.size(); ++k) {
      if (AsciiLower(source[i + k]) != AsciiLower(find[k])) return false;
    }
    return true;
  };
  const char first = AsciiLower(find[0]);
  std::size_t i = from;
#if defined(__SSE2__)
  // The rules look for the private marker in every note of the file: the
  // places where the first character stands, in either case, are found 16
  // at a time.
  const char firstUpper = (first >= 'a' && first <= 'z') ? static_cast<char>(first - ('a' - 'A')) : first;
  const __m128i lower = _mm_set1_epi8(first);
  const __m128i upper = _mm_set1_epi8(firstUpper);
  for (; i + 16 <= source.size() && i <= lastStart; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source.data() + i));
    auto candidates =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lower), _mm_cmpeq_epi8(block, upper))));
    for (; candidates != 0; candidates &= candidates - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(candidates));
      if (at > lastStart) return 0;
      if (restMatchesAt(at)) return Position(at);
    }
  }
#endif
  for (; i <= lastStart; ++i) {
    if (AsciiLower(source[i]) == first && restMatchesAt(i)) return Position(i);
  }
  return 0;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string Chr(uint32_t code) {
  std::string result;
  detail::AppendUtf8(code, result);
  return result;
}

std::string ConvertEncoding(std::string_view text, TextEncoding to) {
  if (to == TextEncoding::UTF8) return std::string(text);
  // Bytes that aren't well-formed UTF-8 are taken as Windows-1252, as the
  // input streams take them, so that nothing is dropped on the way.
  std::string result;
  result.reserve(text.size() * 2);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const std::size_t length = detail::SequenceLength(p, end);
    if (length == 0) {
      AppendUtf16Le(detail::Windows1252(*p), result);
      ++p;
    } else {
      AppendUtf16Le(detail::DecodeSequence(p, length), result);
      p += length;
    }
  }
  return result;
}

}  // namespace fw
