// Reading text files: the decoding, the line ends, and the thread that reads
// ahead and hands the lines over in spans.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "framework/exceptions.h"
#include "framework/text_internal.h"
#include "framework/text_stream.h"
#include "framework/text_stream_internal.h"
#include "framework/text_stream_testing.h"

namespace fw {
namespace {

constexpr std::size_t kReadBytes = testing::kInputReadBytes;
// Every input buffer has this many readable bytes past its capacity, so that
// every line handed out is a PaddedText; one more byte is room for the LF
// that a last line without an ending is given.
constexpr std::size_t kPadding = PaddedText::kPadding;

// What an empty read hands out: nothing, followed by the padding.
constexpr char kNoLine[kPadding] = {};

[[noreturn]] void ThrowIO(int errorNumber, const char* what, const std::string& path) {
  throw IOException(errorNumber, detail::IOText(errorNumber, what, path));
}

// A buffer that may be read up to kPadding bytes past its capacity.
struct Buffer {
  std::unique_ptr<char[]> bytes;
  std::size_t capacity = 0;

  char* data() const { return bytes.get(); }

  void Allocate(std::size_t size) {
    bytes = std::make_unique<char[]>(size + 1 + kPadding);  // zeroed, padding too
    capacity = size;
  }

  // Twice the capacity, keeping the first `keep` bytes.
  void Grow(std::size_t keep) {
    Buffer larger;
    larger.Allocate(2 * capacity);
    std::memcpy(larger.data(), data(), keep);
    *this = std::move(larger);
  }
};

// How the first bytes of a file say it is encoded. Every GEDCOM file begins
// with "0" (after a possible byte-order mark), so a byte-order mark, or the
// zero byte that UTF-16 puts beside that "0", tells the encoding for certain;
// only what tells nothing follows the caller's choice. Trusting the choice
// over the file would read a UTF-8 tree as one line of garbage, or a UTF-16
// tree with its private notes unrecognised.
struct FirstBytes {
  TextEncoding encoding;
  bool bigEndian;
  std::size_t mark;  // the byte-order mark's length, dropped
};

FirstBytes DecideEncoding(std::string_view bytes, TextEncoding chosen) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {TextEncoding::UTF8, false, 3};
  if (n >= 2) {
    if (b[0] == 0xFF && b[1] == 0xFE) return {TextEncoding::UTF16, false, 2};
    if (b[0] == 0xFE && b[1] == 0xFF) return {TextEncoding::UTF16, true, 2};
    if (b[0] == 0) return {TextEncoding::UTF16, true, 0};
    if (b[1] == 0) return {TextEncoding::UTF16, false, 0};
    if (b[0] < 0x80) return {TextEncoding::UTF8, false, 0};
  }
  return {chosen, false, 0};
}

// How much of a file's start is looked at for the header's CHAR line.
constexpr std::size_t kHeaderBytes = 64 * 1024;

// Whether the header (the first record whose first line has level 0 and tag
// HEAD) holds a line of level 1, tag CHAR and value ANSEL, within `head`,
// the start of a UTF-8 file after any byte-order mark. Each line is split as
// the line rules split it: at single blanks, trimmed, a-z case ignored. The
// last line counts only when `lastLineWhole` says that nothing of it is cut
// off.
bool DeclaresAnsel(std::string_view head, bool lastLineWhole) {
  if (!lastLineWhole) head = head.substr(0, head.find_last_of("\r\n") + 1);  // npos + 1 is 0
  bool inHeader = false;
  while (!head.empty()) {
    const std::size_t end = std::min(head.find_first_of("\r\n"), head.size());
    const std::string_view text = TrimView(head.substr(0, end));
    head.remove_prefix(std::min(end + 1, head.size()));
    const std::size_t first = text.find(' ');
    if (first == std::string_view::npos) continue;  // a single-field line has no level
    const std::size_t second = std::min(text.find(' ', first + 1), text.size());
    const std::string_view level = TrimView(text.substr(0, first));
    const std::string_view tag = TrimView(text.substr(first + 1, second - first - 1));
    if (level == "0") {
      if (inHeader) return false;
      inHeader = EqualsIgnoringAsciiCase(tag, "HEAD");
    } else if (inHeader && level == "1" && EqualsIgnoringAsciiCase(tag, "CHAR") &&
               EqualsIgnoringAsciiCase(TrimView(text.substr(std::min(second + 1, text.size()))), "ANSEL")) {
      return true;
    }
  }
  return false;
}

// Reads through EINTR; 0 at the end of the file.
std::size_t ReadSome(int fd, char* into, std::size_t size, const std::string& path) {
  for (;;) {
    const ssize_t got = ::read(fd, into, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) ThrowIO(errno, "Could not read", path);
  }
}

// Where the spans of lines are made, and read: the reading thread fills a
// slot and makes its span, the caller reads the span and gives the slot
// back.
struct SpanSlot {
  // [0, end): text decoded to UTF-8 (bytes as read from a UTF-8 file, with
  // their line ends as they stand); the span is made from [0, cut).
  Buffer text;
  std::size_t cut = 0;
  std::size_t end = 0;
  // A span mended from ill-formed UTF-8, with the padding after it.
  std::string mended;
  std::string_view span;
};

// What the reading thread hands over, in the file's order: a slot with a
// span, the end of the input, or the failure that ended reading.
struct Handed {
  SpanSlot* slot = nullptr;
  std::exception_ptr failure;
};

// Makes spans of whole lines from the file: reads (and decodes) into a slot
// after what it holds, cuts after the last whole line, and makes what is
// before the cut a span: UTF-8 (mended where it isn't well-formed), every
// line ended by one LF whatever its ending in the file.
class SpanMaker {
 public:
  // UTF-8 until StartUtf16.
  SpanMaker(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  // Reads until at least `least` bytes are in, or the file ends.
  std::size_t ReadAtLeast(char* into, std::size_t size, std::size_t least) {
    std::size_t total = 0;
    while (total < least) {
      const std::size_t got = ReadSome(fd_, into + total, size - total, path_);
      if (got == 0) {
        sourceEnded_ = true;
        break;
      }
      total += got;
    }
    return total;
  }

  bool SourceEnded() const { return sourceEnded_; }

  // Bytes that are not well-formed UTF-8 are read as ANSEL from here on.
  void ReadAnsel() { ansel_ = true; }

  // UTF-16 from here on, with these bytes read already.
  void StartUtf16(bool bigEndian, std::string_view bytes) {
    encoding_ = TextEncoding::UTF16;
    utf16_.bigEndian = bigEndian;
    raw_.Allocate(kReadBytes);
    std::memcpy(raw_.data(), bytes.data(), bytes.size());
    rawLength_ = bytes.size();
  }

  // Decoded, a UTF-16 unit takes up to three bytes, and ASCII (most of a
  // GEDCOM file) one: room for what one read decodes to, at least.
  std::size_t SlotBytes() const { return encoding_ == TextEncoding::UTF8 ? kReadBytes : kReadBytes * 3 / 2; }

  // Makes the span of `slot`, which holds what the last one left; false at
  // the end of the input, when there is nothing more. Stops early when
  // `stopping` is set.
  bool Make(SpanSlot& slot, const std::atomic<bool>& stopping) {
    for (;;) {
      const bool more = Fill(slot);
      std::size_t stop = LastLineEnd(slot, !more);
      if (stop == 0) {
        if (more && !stopping.load(std::memory_order_relaxed)) continue;
        if (slot.end == 0) return false;
        // The last line has no ending: it gets one, in the room kept for it.
        slot.text.data()[slot.end++] = '\n';
        stop = slot.end;
      }
      slot.cut = stop;
      MakeSpan(slot);
      return true;
    }
  }

  // What follows the last whole line of `from` goes to the front of `to`.
  static void Carry(const SpanSlot& from, SpanSlot& to, std::size_t bytes) {
    const std::size_t size = from.end - from.cut;
    if (to.text.capacity < std::max(bytes, 2 * size)) to.text.Allocate(std::max(bytes, 2 * size));
    std::memcpy(to.text.data(), from.text.data() + from.cut, size);
    to.end = size;
    to.cut = 0;
  }

 private:
  // Reads (and decodes) more after `slot.end`. False when nothing more came:
  // the input is exhausted.
  bool Fill(SpanSlot& slot) {
    Buffer& text = slot.text;
    // A line longer than most of the buffer: make room for more of it.
    if (text.capacity - slot.end < text.capacity / 4) text.Grow(slot.end);
    if (encoding_ == TextEncoding::UTF8) {
      if (sourceEnded_) return false;
      const std::size_t got = ReadSome(fd_, text.data() + slot.end, text.capacity - slot.end, path_);
      if (got == 0) sourceEnded_ = true;
      slot.end += got;
      return got > 0;
    }
    for (;;) {
      if (!sourceEnded_ && rawLength_ < raw_.capacity) {
        const std::size_t got = ReadSome(fd_, raw_.data() + rawLength_, raw_.capacity - rawLength_, path_);
        if (got == 0) sourceEnded_ = true;
        rawLength_ += got;
      }
      // Three bytes a unit at most; the decoder may write 16 bytes ahead.
      const std::size_t units = std::min(rawLength_ / 2, (text.capacity - slot.end - 16) / 3);
      const bool last = sourceEnded_ && units == rawLength_ / 2;
      const auto* in = reinterpret_cast<const unsigned char*>(raw_.data());
      std::size_t made = utf16_.Decode(in, units, last, text.data() + slot.end);
      const std::size_t used = 2 * utf16_.consumed;
      rawLength_ -= used;
      std::memmove(raw_.data(), raw_.data() + used, rawLength_);
      if (last && rawLength_ < 2) {
        made += utf16_.Finish(rawLength_ == 1, text.data() + slot.end + made);
        rawLength_ = 0;
      }
      slot.end += made;
      if (made > 0) return true;
      if (sourceEnded_ && rawLength_ == 0) return false;
    }
  }

  // Where the last whole line in the slot ends (past its line end), or 0
  // when none is whole. A CR at the very end is not taken for a line end
  // while an LF may still follow it.
  static std::size_t LastLineEnd(const SpanSlot& slot, bool inputDone) {
    const char* data = slot.text.data();
    std::size_t i = slot.end;
    if (!inputDone && i > 0 && data[i - 1] == '\r') --i;
    while (i > 0 && data[i - 1] != '\n' && data[i - 1] != '\r') --i;
    return i;
  }

  // The span of the whole lines in [0, cut), as UTF-8 with LF line ends.
  void MakeSpan(SpanSlot& slot) const {
    char* const data = slot.text.data();
    const std::size_t stop = slot.cut;
    // Decoding UTF-16 makes well-formed UTF-8.
    const std::size_t good = encoding_ == TextEncoding::UTF8 ? detail::WellFormedUtf8Prefix({data, stop}) : stop;
    if (good == stop) {
      slot.span = {data, detail::MakeLineEndsLf(data, stop)};
      return;
    }
    std::string& mended = slot.mended;
    mended.assign(data, good);
    (ansel_ ? detail::AppendMendedAnsel : detail::AppendMendedUtf8)({data + good, stop - good}, mended);
    const std::size_t size = detail::MakeLineEndsLf(mended.data(), mended.size());
    mended.resize(size);
    mended.append(kPadding, '\0');  // padded like the buffers; not part of the span
    slot.span = {mended.data(), size};
  }

  const int fd_;
  const std::string path_;
  TextEncoding encoding_ = TextEncoding::UTF8;
  bool sourceEnded_ = false;  // read(2) has returned 0
  bool ansel_ = false;
  // UTF-16: bytes read but not yet decoded.
  detail::Utf16Decoder utf16_;
  Buffer raw_;
  std::size_t rawLength_ = 0;
};

}  // namespace

// The stream reads the file on a thread of its own, ahead of the caller, and
// hands it over as spans of whole lines (SpanMaker). A caller that wants the
// lines one by one takes them from the same spans.
struct TextInputStream::Impl {
  std::string path;
  int fd = -1;
  TextEncoding requested = TextEncoding::UTF8;
  TextEncoding active = TextEncoding::UTF8;
  bool started = false;
  bool closed = false;

  // The caller's side: the slot whose span is being read, how much of it the
  // line-by-line reads have taken, and how reading ended.
  SpanSlot* current = nullptr;
  std::string_view span;
  std::size_t taken = 0;
  bool ended = false;
  std::exception_ptr failure;

  // Between the two threads. One slot is the caller's, one is ready, one is
  // being filled.
  static constexpr std::size_t kSlots = 3;
  SpanSlot slots[kSlots];
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Handed> ready;
  std::vector<SpanSlot*> free;
  std::atomic<bool> stopping{false};
  std::unique_ptr<SpanMaker> maker;
  std::thread thread;

  // The first read, on the caller's thread: settles the decoding, drops the
  // byte-order mark, and starts the reading thread. When it fails, every
  // later read tells the failure again.
  void Start() {
    started = true;
    try {
      StartReading();
    } catch (...) {
      failure = std::current_exception();
      throw;
    }
  }

  void StartReading() {
    maker = std::make_unique<SpanMaker>(fd, path);
    SpanSlot& first = slots[0];
    first.text.Allocate(kReadBytes);
    std::size_t size = maker->ReadAtLeast(first.text.data(), first.text.capacity, kHeaderBytes);
    const FirstBytes bytes = DecideEncoding({first.text.data(), size}, requested);
    active = bytes.encoding;
    size -= bytes.mark;
    if (active == TextEncoding::UTF8) {
      char* const data = first.text.data();
      std::memmove(data, data + bytes.mark, size);
      first.end = size;
      // An ANSEL file's accents, read as Windows-1252, would come out as
      // the wrong letters before the right ones.
      const std::size_t head = std::min(size, kHeaderBytes - bytes.mark);
      const bool whole = head < size ? data[head] == '\n' || data[head] == '\r' : maker->SourceEnded();
      if (DeclaresAnsel({data, head}, whole)) maker->ReadAnsel();
    } else {
      maker->StartUtf16(bytes.bigEndian, {first.text.data() + bytes.mark, size});
      first.text.Allocate(maker->SlotBytes());
    }
    for (std::size_t i = 1; i < kSlots; ++i) free.push_back(&slots[i]);
    thread = std::thread([this] { Read(); });
  }

  // The reading thread.
  void Read() {
    detail::BlockTerminatingSignals();
    SpanSlot* slot = &slots[0];
    try {
      for (;;) {
        if (!maker->Make(*slot, stopping)) return Hand({});
        SpanSlot* next = TakeFree();
        if (next == nullptr) return;
        SpanMaker::Carry(*slot, *next, maker->SlotBytes());
        Hand({slot, nullptr});
        slot = next;
      }
    } catch (...) {
      Hand({nullptr, std::current_exception()});
    }
  }

  SpanSlot* TakeFree() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !free.empty() || stopping; });
    if (stopping) return nullptr;
    SpanSlot* slot = free.back();
    free.pop_back();
    return slot;
  }

  void Hand(Handed handed) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      ready.push_back(std::move(handed));
    }
    changed.notify_all();
  }

  // The next span, on the caller's thread; false at the end of the input.
  // Throws what reading threw.
  bool NextSpan() {
    if (failure) std::rethrow_exception(failure);
    if (ended) return false;
    Handed next;
    {
      std::unique_lock<std::mutex> lock(mutex);
      if (current != nullptr) free.push_back(current);
      current = nullptr;
      span = {};
      taken = 0;
      changed.notify_all();
      changed.wait(lock, [this] { return !ready.empty(); });
      next = std::move(ready.front());
      ready.pop_front();
    }
    if (next.failure) {
      failure = next.failure;
      std::rethrow_exception(failure);
    }
    if (next.slot == nullptr) {
      ended = true;
      return false;
    }
    current = next.slot;
    span = current->span;
    return true;
  }

  // True when a line is at hand in the span, taking the next span if needed.
  bool HaveLine() {
    if (closed) return false;
    if (!started) Start();
    return taken < span.size() || NextSpan();
  }

  // Ends the reading thread: what it has not handed over is dropped.
  void Stop() {
    if (!thread.joinable()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
    thread.join();
  }
};

TextInputStream::TextInputStream() : impl_(std::make_unique<Impl>()) {}

TextInputStream::~TextInputStream() {
  impl_->Stop();
  if (impl_->fd >= 0) ::close(impl_->fd);
}

std::unique_ptr<TextInputStream> TextInputStream::Open(const FolderItem& file) {
  // Only a regular file (links followed) is read. Without O_NONBLOCK, opening
  // a FIFO would wait until something opened it for writing, and the
  // application would hang; a device may never end, and opening a terminal
  // must not make it ours (O_NOCTTY). Reads block again once it is known to
  // be a regular file.
  const int fd = ::open(file.Path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat status {};
  const int flags = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? ::fcntl(fd, F_GETFL) : -1;
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::unique_ptr<TextInputStream> stream(new TextInputStream());
  stream->impl_->fd = fd;
  stream->impl_->path = file.Path().string();
  return stream;
}

void TextInputStream::SetEncoding(TextEncoding encoding) {
  Impl& s = *impl_;
  if (!s.started) {
    s.requested = s.active = encoding;
  } else if (encoding != s.requested) {
    // The bytes already read were decoded the other way: switching now would
    // mix two decodings in one text.
    throw RuntimeException("The encoding of \"" + s.path + "\" can't change once reading has begun.");
  }
}

TextEncoding TextInputStream::Encoding() const { return impl_->active; }

std::string_view TextInputStream::ReadLines() {
  Impl& s = *impl_;
  if (!s.HaveLine()) return {};
  const std::string_view lines = s.span.substr(s.taken);
  s.taken = s.span.size();
  return lines;
}

std::string TextInputStream::ReadLine() { return std::string(ReadLineView()); }

std::string_view TextInputStream::ReadLineView() { return ReadPaddedLine().view(); }

PaddedText TextInputStream::ReadPaddedLine() {
  Impl& s = *impl_;
  if (!s.HaveLine()) return PaddedText(std::string_view(kNoLine, 0));
  const char* const begin = s.span.data() + s.taken;
  // Every line of a span ends with an LF.
  const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', s.span.size() - s.taken));
  s.taken = static_cast<std::size_t>(lf - s.span.data()) + 1;
  return PaddedText(std::string_view(begin, static_cast<std::size_t>(lf - begin)));
}

bool TextInputStream::Eof() { return !impl_->HaveLine(); }

void TextInputStream::Close() {
  Impl& s = *impl_;
  s.Stop();
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
  s.closed = true;
  s.current = nullptr;
  s.span = {};
  s.taken = 0;
  s.maker.reset();
  for (SpanSlot& slot : s.slots) slot = SpanSlot();
}

}  // namespace fw
