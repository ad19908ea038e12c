// Reading text files: the decoding, the line ends, and the thread that reads
// ahead and hands the lines over in spans.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "framework/exceptions.h"
#include "framework/padded_buffer.h"
#include "framework/text_internal.h"
#include "framework/text_stream.h"
#include "framework/text_stream_internal.h"
#include "framework/text_stream_testing.h"

namespace fw {
namespace {

using detail::PaddedBuffer;

// The most that one read(2) asks for. The first read takes exactly this much
// from the file's start, which the tests rely on.
constexpr std::size_t kReadBytes = testing::kInputReadBytes;
// A new buffer's size: a read and what is left of the line before it.
constexpr std::size_t kOrdinaryBytes = 2 * kReadBytes;
// The room a buffer must have before a read, or a step of UTF-16 decoding.
constexpr std::size_t kLeastRoom = kReadBytes / 4;
// A buffer given back larger than this (it held a long line) is freed
// rather than kept for the next span.
constexpr std::size_t kKeptBytes = 2 * kOrdinaryBytes;
// A buffer grows beyond this only once every span handed over has been
// given back: two long lines in a row are then never in memory at once.
constexpr std::size_t kGrowFreely = 4 * kOrdinaryBytes;
// How much of a file's start is looked at for the header's CHAR line.
constexpr std::size_t kHeaderBytes = 64 * 1024;

[[noreturn]] void ThrowIO(int errorNumber, const char* what, const std::string& path) {
  throw IOException(errorNumber, detail::IOText(errorNumber, what, path));
}

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

// Thrown on the reading thread when the stream is closed under it.
struct ReadingStopped {};

// The hand-over between the reading thread and the caller: a bounded queue of
// spans, each in a buffer of its own, closed by one marker that is either the
// end of the input or the failure that ended reading. The buffers come back
// when the caller is done with them, to be filled again.
class SpanQueue {
 public:
  // The reading thread's side.

  // Queues `span` once there is room for it.
  void Push(PaddedBuffer span) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return spans_.size() < kQueued || stopping_; });
    if (stopping_) throw ReadingStopped();
    spans_.push_back(std::move(span));
    ++out_;
    changed_.notify_all();
  }

  // The marker after the last span: the end of the input when `failure` is
  // null. The caller is told it at every read from then on.
  void Finish(std::exception_ptr failure) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
      failure_ = std::move(failure);
    }
    changed_.notify_all();
  }

  // An empty buffer to fill: one given back, or a new one.
  PaddedBuffer Empty() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!spare_.empty()) {
        PaddedBuffer buffer = std::move(spare_.back());
        spare_.pop_back();
        buffer.Resize(0);
        return buffer;
      }
    }
    return PaddedBuffer(kOrdinaryBytes);
  }

  // Waits until the caller has given back every span handed over.
  void WaitUntilAllBack() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return out_ == 0 || stopping_; });
    if (stopping_) throw ReadingStopped();
  }

  // Whether the stream is being closed: a long line need not be read to
  // its end.
  bool Stopping() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  }

  // The caller's side.

  // The next span; nothing at the end. Throws the failure that ended
  // reading, each time it is asked.
  std::optional<PaddedBuffer> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !spans_.empty() || finished_; });
    if (spans_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return std::nullopt;
    }
    PaddedBuffer span = std::move(spans_.front());
    spans_.pop_front();
    changed_.notify_all();
    return span;
  }

  void GiveBack(PaddedBuffer span) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      --out_;
      if (span.capacity() <= kKeptBytes && spare_.size() < kQueued + 1) spare_.push_back(std::move(span));
    }
    changed_.notify_all();
  }

  // Tells the reading thread to end; what it has not handed over is dropped.
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
  }

 private:
  // Spans made and waiting while the caller reads another. With the one the
  // reading thread waits to queue and the one it fills next, four buffers
  // are in use at the most.
  static constexpr std::size_t kQueued = 1;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PaddedBuffer> spans_;
  std::size_t out_ = 0;  // spans handed over and not given back
  std::vector<PaddedBuffer> spare_;
  bool finished_ = false;
  std::exception_ptr failure_;
  bool stopping_ = false;
};

// Makes spans of whole lines from the file: reads, decodes what it read to
// UTF-8 at the end of its buffer, and cuts the buffer after the last whole
// line, every line ended by one LF whatever its ending in the file.
class SpanMaker {
 public:
  SpanMaker(int fd, std::string path, const detail::FileIdentity& noted, SpanQueue& queue)
      : fd_(fd), path_(std::move(path)), noted_(noted), queue_(queue), text_(queue.Empty()) {}

  // Reads the file's first bytes, decides the encoding (the caller's choice
  // where the bytes don't tell) and returns it.
  TextEncoding Begin(TextEncoding chosen) {
    std::size_t size = 0;
    while (size < kHeaderBytes && !sourceEnded_) size += Read(text_.data() + size, kReadBytes - size);
    const FirstBytes first = DecideEncoding({text_.data(), size}, chosen);
    const std::string_view rest(text_.data() + first.mark, size - first.mark);
    if (first.encoding == TextEncoding::UTF16) {
      utf16_ = true;
      utf16Decoder_.bigEndian = first.bigEndian;
      raw_.Reserve(kReadBytes);
      raw_.Append(rest);
      return first.encoding;
    }
    // An ANSEL file's accents, read as Windows-1252, would come out as the
    // wrong letters before the right ones.
    const std::size_t head = std::min(rest.size(), kHeaderBytes - first.mark);
    const bool whole = head < rest.size() ? rest[head] == '\n' || rest[head] == '\r' : sourceEnded_;
    if (DeclaresAnsel(rest.substr(0, head), whole)) mender_.ReadAnsel();
    std::memmove(text_.data(), rest.data(), rest.size());
    text_.Resize(rest.size());
    DecodeUtf8();
    return first.encoding;
  }

  // The next span; nothing at the end of the input.
  std::optional<PaddedBuffer> Make() {
    for (;;) {
      FindLastLineEnd();
      if (lastEnd_ > 0) break;
      if (exhausted_) {
        if (decoded_ == 0) return std::nullopt;
        // The last line has no ending in the file: it gets one.
        text_.Append("\n");
        decoded_ = lastEnd_ = text_.size();
        break;
      }
      if (queue_.Stopping()) throw ReadingStopped();
      if (utf16_) {
        FillUtf16();
      } else {
        FillUtf8();
      }
    }
    // What follows the last line end, and bytes not yet decoded, start the
    // next buffer.
    PaddedBuffer next = queue_.Empty();
    next.Append({text_.data() + lastEnd_, text_.size() - lastEnd_});
    PaddedBuffer span = std::exchange(text_, std::move(next));
    span.Resize(detail::MakeLineEndsLf(span.data(), lastEnd_));
    decoded_ -= lastEnd_;
    lastEnd_ = searched_ = 0;
    return span;
  }

 private:
  // Reads through EINTR; 0 at the end of the file, which must then be just
  // as it was when it was opened.
  std::size_t Read(char* into, std::size_t size) {
    for (;;) {
      const ssize_t got = ::read(fd_, into, size);
      if (got > 0) {
        bytesRead_ += static_cast<std::size_t>(got);
        return static_cast<std::size_t>(got);
      }
      if (got == 0) {
        sourceEnded_ = true;
        CheckUnchanged();
        return 0;
      }
      if (errno != EINTR) ThrowIO(errno, "Could not read", path_);
    }
  }

  // A file that shrank, grew or was rewritten while it was read would give a
  // copy that is short, or made of two versions, with nothing to tell.
  void CheckUnchanged() const {
    struct stat now {};
    if (::fstat(fd_, &now) != 0) ThrowIO(errno, "Could not read", path_);
    if (bytesRead_ != static_cast<std::size_t>(noted_.size) || !noted_.SameContent(now)) {
      throw IOException(EIO, "The file \"" + path_ + "\" changed while it was read.");
    }
  }

  // Room for `bytes` more in the buffer. A line that outgrows the ordinary
  // buffers waits for the spans before it to be given back.
  void MakeRoom(std::size_t bytes) {
    if (text_.room() >= bytes) return;
    if (text_.capacity() >= kGrowFreely) queue_.WaitUntilAllBack();
    text_.MakeRoom(bytes);
  }

  void FillUtf8() {
    MakeRoom(kLeastRoom);
    const std::size_t got = Read(text_.data() + text_.size(), std::min(text_.room(), kReadBytes));
    text_.Resize(text_.size() + got);
    DecodeUtf8();
  }

  // Makes what was read after the decoded text valid UTF-8, in place. A
  // sequence cut short at the end waits there for the next read.
  void DecodeUtf8() {
    const std::string_view read(text_.data() + decoded_, text_.size() - decoded_);
    if (!mender_.Waiting()) {
      const std::size_t good = detail::WellFormedUtf8Prefix(read);
      decoded_ += good;
      if (good == read.size() && !sourceEnded_) return;
    }
    mended_.clear();
    const std::string_view rest(text_.data() + decoded_, text_.size() - decoded_);
    const std::size_t taken = mender_.Mend(rest, sourceEnded_, mended_);
    char cut[4];  // what waits: at most the first three bytes of a sequence
    const std::size_t waiting = rest.size() - taken;
    std::memcpy(cut, rest.data() + taken, waiting);
    text_.Resize(decoded_);
    MakeRoom(mended_.size() + waiting);
    text_.Append(mended_);
    decoded_ = text_.size();
    text_.Append({cut, waiting});
    exhausted_ = sourceEnded_;
  }

  void FillUtf16() {
    for (;;) {
      if (!sourceEnded_ && raw_.room() > 0) raw_.Resize(raw_.size() + Read(raw_.data() + raw_.size(), raw_.room()));
      MakeRoom(kLeastRoom);
      // Three bytes a unit at most; the decoder may write 16 bytes ahead.
      const std::size_t units = std::min(raw_.size() / 2, (text_.room() - 16) / 3);
      const bool last = sourceEnded_ && units == raw_.size() / 2;
      const auto* in = reinterpret_cast<const unsigned char*>(raw_.data());
      std::size_t made = utf16Decoder_.Decode(in, units, text_.data() + text_.size());
      const std::size_t used = 2 * units;
      std::memmove(raw_.data(), raw_.data() + used, raw_.size() - used);
      raw_.Resize(raw_.size() - used);
      if (last) {
        made += utf16Decoder_.Finish(raw_.size() == 1, text_.data() + text_.size() + made);
        raw_.Resize(0);
        exhausted_ = true;
      }
      text_.Resize(text_.size() + made);
      decoded_ = text_.size();
      if (made > 0 || exhausted_) return;
    }
  }

  // Notes where the last whole line of the decoded text ends, looking only
  // at what has not been looked at yet. A CR at the very end is not taken
  // for a line end while an LF may still follow it: it is looked at again
  // after the next read.
  void FindLastLineEnd() {
    const char* data = text_.data();
    std::size_t stop = decoded_;
    if (!exhausted_ && stop > searched_ && data[stop - 1] == '\r') --stop;
    for (std::size_t i = stop; i > searched_; --i) {
      if (data[i - 1] == '\n' || data[i - 1] == '\r') {
        lastEnd_ = i;
        break;
      }
    }
    searched_ = stop;
  }

  const int fd_;
  const std::string path_;
  const detail::FileIdentity noted_;
  SpanQueue& queue_;
  std::size_t bytesRead_ = 0;
  bool sourceEnded_ = false;  // read(2) has returned 0
  bool exhausted_ = false;    // and everything read is decoded
  bool utf16_ = false;

  // [0, decoded_): text decoded to UTF-8, line ends as in the file; then,
  // for UTF-8 files, bytes read but not yet decoded.
  PaddedBuffer text_;
  std::size_t decoded_ = 0;
  std::size_t searched_ = 0;  // the decoded text up to here has been looked through
  std::size_t lastEnd_ = 0;   // past the last line end found; 0 when none is

  detail::Utf8Mender mender_;
  std::string mended_;
  detail::Utf16Decoder utf16Decoder_;
  PaddedBuffer raw_;  // UTF-16 bytes read but not yet decoded
};

}  // namespace

// The stream reads the file on a thread of its own, ahead of the caller, and
// hands it over as spans of whole lines (SpanMaker, SpanQueue). A caller that
// wants the lines one by one takes them from the same spans.
struct TextInputStream::Impl {
  std::string path;
  int fd = -1;
  detail::FileIdentity identity;
  TextEncoding requested = TextEncoding::UTF8;
  TextEncoding active = TextEncoding::UTF8;
  bool started = false;
  bool closed = false;

  SpanQueue queue;
  std::thread thread;

  // The caller's span, and how much of it the line-by-line reads have taken.
  std::optional<PaddedBuffer> current;
  PaddedText span;
  std::size_t taken = 0;

  // The first read: settles the decoding on the caller's thread, and starts
  // the reading thread. A start that fails is told at every later read.
  void Start() {
    started = true;
    try {
      auto maker = std::make_unique<SpanMaker>(fd, path, identity, queue);
      active = maker->Begin(requested);
      thread = std::thread([this, maker = std::move(maker)] {
        detail::BlockTerminatingSignals();
        try {
          while (std::optional<PaddedBuffer> next = maker->Make()) queue.Push(std::move(*next));
          queue.Finish(nullptr);
        } catch (const ReadingStopped&) {
        } catch (...) {
          queue.Finish(std::current_exception());
        }
      });
    } catch (...) {
      queue.Finish(std::current_exception());
    }
  }

  // True when a line is at hand, taking the next span if needed. Throws what
  // ended reading.
  bool HaveLine() {
    if (closed) return false;
    if (!started) Start();
    if (taken < span.size()) return true;
    if (current) queue.GiveBack(*std::exchange(current, std::nullopt));
    span = PaddedText();
    taken = 0;
    current = queue.Pop();
    if (!current) return false;
    span = current->Text();
    return true;
  }

  // Ends the reading thread.
  void Stop() {
    queue.Stop();
    if (thread.joinable()) thread.join();
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
  stream->impl_->identity = detail::FileIdentity(status);
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

PaddedText TextInputStream::ReadLines() {
  Impl& s = *impl_;
  if (!s.HaveLine()) return {};
  const PaddedText lines(s.span.view().substr(s.taken));
  s.taken = s.span.size();
  return lines;
}

std::string TextInputStream::ReadLine() { return std::string(ReadLineView()); }

std::string_view TextInputStream::ReadLineView() {
  Impl& s = *impl_;
  if (!s.HaveLine()) return {};
  const std::string_view rest = s.span.view().substr(s.taken);
  // Every line of a span ends with an LF.
  const std::size_t lf = rest.find('\n');
  s.taken += lf + 1;
  return rest.substr(0, lf);
}

bool TextInputStream::Eof() { return !impl_->HaveLine(); }

void TextInputStream::Close() {
  Impl& s = *impl_;
  s.Stop();
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
  s.closed = true;
  s.current.reset();
  s.span = PaddedText();
  s.taken = 0;
}

const detail::FileIdentity& TextInputStream::Identity() const { return impl_->identity; }

}  // namespace fw
