// Text from a file taken for UTF-8 that isn't all well-formed UTF-8: the
// Windows-1252 reading of stray bytes, and ANSEL, the character set that
// older genealogy programs write GEDCOM files in: ASCII below 0x80, spacing
// letters and signs (Ł, ø, æ, ©, ...) from 0xA1, and combining accents from
// 0xE0 that come *before* the letter they sit on.

#include <unicode/unorm2.h>

#include <array>
#include <string>

#include "framework/text_internal.h"

namespace fw::detail {
namespace {

// The spacing characters of 0xA0-0xDF; 0 for a byte that ANSEL leaves
// undefined, which keeps its Windows-1252 reading.
constexpr std::array<char16_t, 64> kSpacing = {
    0,      0x0141, 0x00D8, 0x0110, 0x00DE, 0x00C6, 0x0152, 0x02B9,  // A0-A7
    0x00B7, 0x266D, 0x00AE, 0x00B1, 0x01A0, 0x01AF, 0x02BC, 0,       // A8-AF
    0x02BB, 0x0142, 0x00F8, 0x0111, 0x00FE, 0x00E6, 0x0153, 0x02BA,  // B0-B7
    0x0131, 0x00A3, 0x00F0, 0,      0x01A1, 0x01B0, 0x25A1, 0x25A0,  // B8-BF
    0x00B0, 0x2113, 0x2117, 0x00A9, 0x266F, 0x00BF, 0x00A1, 0x00DF,  // C0-C7
    0x20AC, 0,      0,      0,      0,      0x0065, 0x006F, 0x00DF,  // C8-CF
};

// The combining marks of 0xE0-0xFF; 0 where ANSEL has none.
constexpr std::array<char16_t, 32> kMarks = {
    0x0309, 0x0300, 0x0301, 0x0302, 0x0303, 0x0304, 0x0306, 0x0307,  // E0-E7
    0x0308, 0x030C, 0x030A, 0xFE20, 0xFE21, 0x0315, 0x030B, 0x0310,  // E8-EF
    0x0327, 0x0328, 0x0323, 0x0324, 0x0325, 0x0333, 0x0332, 0x0326,  // F0-F7
    0x031C, 0x032E, 0xFE22, 0xFE23, 0,      0,      0x0313, 0,       // F8-FF
};

char16_t Mark(unsigned char byte) { return byte >= 0xE0 ? kMarks[byte - 0xE0] : 0; }

char32_t Spacing(unsigned char byte) {
  const char16_t code = byte >= 0xA0 && byte < 0xE0 ? kSpacing[byte - 0xA0] : 0;
  return code != 0 ? code : Windows1252(byte);
}

// A letter with more accents than any language puts on one is composed only
// with the first few: normalising a run of thousands that a damaged file
// could hold would take time that grows with its square.
constexpr std::size_t kComposedMarks = 8;

// `base` followed by `marks`, composed where Unicode has a precomposed
// character (NFC).
void AppendComposed(char32_t base, std::u16string_view marks, std::string& out) {
  std::u16string cluster;
  if (base >= 0x10000) {
    cluster += static_cast<char16_t>(0xD800 + ((base - 0x10000) >> 10));
    cluster += static_cast<char16_t>(0xDC00 + ((base - 0x10000) & 0x3FF));
  } else {
    cluster += static_cast<char16_t>(base);
  }
  const std::u16string_view composedMarks = marks.substr(0, kComposedMarks);
  cluster += composedMarks;
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  std::u16string composed(2 * cluster.size() + 4, u'\0');
  int32_t length = 0;
  if (U_SUCCESS(status)) {
    length = unorm2_normalize(nfc, cluster.data(), static_cast<int32_t>(cluster.size()), composed.data(),
                              static_cast<int32_t>(composed.size()), &status);
  }
  const std::u16string_view units = U_SUCCESS(status) ? std::u16string_view(composed).substr(0, length) : cluster;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00u);
    }
    AppendUtf8(code, out);
  }
  for (const char16_t mark : marks.substr(composedMarks.size())) AppendUtf8(mark, out);
}

}  // namespace

void Utf8Mender::AppendLoneMarks(std::string& out) {
  for (const char16_t mark : marks_) AppendUtf8(mark, out);
  marks_.clear();
}

std::size_t Utf8Mender::Mend(std::string_view bytes, bool atEnd, std::string& out) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = begin + bytes.size();
  const auto* p = begin;
  while (p < end) {
    if (marks_.empty()) {
      const std::size_t good = WellFormedUtf8Prefix({reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)});
      out.append(reinterpret_cast<const char*>(p), good);
      p += good;
      if (p == end) break;
    } else if (*p == '\n' || *p == '\r') {
      AppendLoneMarks(out);  // no letter before the line's end
      continue;
    }
    // A byte that starts no well-formed sequence, or the character that
    // waiting accents sit on, which may be one.
    char32_t code;
    if (const std::size_t length = SequenceLength(p, end); length > 0) {
      code = DecodeSequence(p, length);
      p += length;
    } else if (!atEnd && CutShort(p, end)) {
      break;  // the rest of the sequence comes with the next piece
    } else {
      const unsigned char byte = *p++;
      if (const char16_t mark = ansel_ ? Mark(byte) : 0; mark != 0) {
        // A run of accents longer than any letter carries is no text: it
        // goes out as lone marks rather than wait, without end, in memory.
        if (marks_.size() == kMostWaiting) AppendLoneMarks(out);
        marks_ += mark;
        continue;
      }
      code = ansel_ ? Spacing(byte) : Windows1252(byte);
    }
    if (marks_.empty()) {
      AppendUtf8(code, out);
    } else {
      AppendComposed(code, marks_, out);
      marks_.clear();
    }
  }
  if (atEnd) AppendLoneMarks(out);
  return static_cast<std::size_t>(p - begin);
}

}  // namespace fw::detail
