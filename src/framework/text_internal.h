#pragma once
// UTF-8 checking and mending shared by the text services and the streams.
// Private to the framework.

#include <cstddef>
#include <string>
#include <string_view>

namespace fw::detail {

// The length of the longest prefix of `bytes` that is well-formed UTF-8: no
// overlong forms, no encoded surrogates, nothing above U+10FFFF, no sequence
// cut short.
std::size_t WellFormedUtf8Prefix(std::string_view bytes);

// The length of the well-formed UTF-8 sequence that starts at `p` (before
// `end`), or 0 when none does, and the code it encodes.
std::size_t SequenceLength(const unsigned char* p, const unsigned char* end);
char32_t DecodeSequence(const unsigned char* p, std::size_t length);
// Whether the bytes from `p` to `end` begin a well-formed sequence that is
// cut short at `end`.
bool CutShort(const unsigned char* p, const unsigned char* end);

// A byte's Windows-1252 character; the five bytes that Windows-1252 leaves
// undefined keep their own value, as C1 controls.
char32_t Windows1252(unsigned char byte);

// Appends the UTF-8 form of `code`; surrogates and codes above U+10FFFF,
// which have none, become U+FFFD.
void AppendUtf8(char32_t code, std::string& out);

// The first byte at or after `p` that is not ASCII, or `end`.
const unsigned char* SkipAscii(const unsigned char* p, const unsigned char* end);

// UTF-16 code units to UTF-8, a piece at a time. Ill-formed code units
// become U+FFFD. Line ends are left as they are (the stream makes them LF,
// as it does for UTF-8 text).
struct Utf16Decoder {
  bool bigEndian = false;
  char16_t pendingHigh = 0;  // a high surrogate waiting for its partner

  // Decodes `units` code units at `in` to `out`, which has room for 3 bytes
  // a unit and 16 more, and returns the bytes made.
  std::size_t Decode(const unsigned char* in, std::size_t units, char* out);
  // At the end of the input: what a surrogate still waiting, and an odd last
  // byte, become (at most 6 bytes).
  std::size_t Finish(bool oddByte, char* out);
};

// Text read from a file that is taken for UTF-8, made valid UTF-8 a piece at
// a time: well-formed sequences as they stand, every byte that isn't part of
// one as its Windows-1252 character, so that text from Latin-1 and Windows
// "ANSI" files keeps its accented letters and nothing is lost.
class Utf8Mender {
 public:
  // From here on, a byte that isn't part of a well-formed sequence is read
  // as ANSEL, the character set of many older genealogy programs. ANSEL's
  // combining accents come before their letter; they are written after it,
  // composed with it where Unicode has a precomposed letter (NFC), and left
  // as lone combining marks where no letter follows before a line's end.
  // Bytes that ANSEL leaves undefined keep their Windows-1252 reading.
  void ReadAnsel() { ansel_ = true; }

  // Accents are waiting for their letter: the next piece must be mended,
  // whatever it holds.
  bool Waiting() const { return !marks_.empty(); }

  // Appends the UTF-8 of `bytes` to `out` and returns how many bytes it
  // took: all, but for a sequence cut short at their end, which waits for
  // the next piece unless `atEnd` says that none follows.
  std::size_t Mend(std::string_view bytes, bool atEnd, std::string& out);

 private:
  static constexpr std::size_t kMostWaiting = 64;

  void AppendLoneMarks(std::string& out);

  bool ansel_ = false;
  std::u16string marks_;  // accents read, in the order they came
};

// Makes every line end of the text (CR LF, lone CR) one LF, in place, and
// returns the text's new size. A CR at the very end is taken as lone.
std::size_t MakeLineEndsLf(char* text, std::size_t size);

// Writes the UTF-8 form of a code that is known to be a scalar value to `out`
// and returns the number of bytes written (1 to 4).
inline std::size_t PutUtf8(char32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

}  // namespace fw::detail
