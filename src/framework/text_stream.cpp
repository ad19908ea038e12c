#include "framework/text_stream.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/exceptions.h"
#include "framework/text_internal.h"
#include "framework/text_stream_testing.h"

namespace fw {
namespace {

constexpr std::size_t kReadBytes = testing::kInputReadBytes;
constexpr std::size_t kOutputBytes = testing::kOutputBufferBytes;
// Every buffer has this many readable bytes past its capacity, so that every
// line handed out is a PaddedText, and the line scan may load 64 bytes at a
// time without checking the end first.
constexpr std::size_t kPadding = PaddedText::kPadding;
static_assert(kPadding >= 64);

// What an empty read hands out: nothing, followed by the padding.
constexpr char kNoLine[kPadding] = {};

std::string ErrorText(int errorNumber) {
  char text[256];
  // The GNU strerror_r, which returns the text (thread-safe, unlike strerror).
  return strerror_r(errorNumber, text, sizeof text);
}

// What a failed read or write reports: what failed, on which file, and why.
std::string IOText(int errorNumber, const char* what, const std::string& path) {
  return std::string(what) + " \"" + path + "\": " + ErrorText(errorNumber);
}

[[noreturn]] void ThrowIO(int errorNumber, const char* what, const std::string& path) {
  throw IOException(errorNumber, IOText(errorNumber, what, path));
}

// A buffer that may be read up to kPadding bytes past its capacity.
struct Buffer {
  std::unique_ptr<char[]> bytes;
  std::size_t capacity = 0;

  void Allocate(std::size_t size) {
    bytes = std::make_unique<char[]>(size + kPadding);  // zeroed, padding too
    capacity = size;
  }
};

// What the line scan needs to know of 64 bytes: which are CR or LF, and
// which have their high bit set (only lines with such bytes need the UTF-8
// check). Bit i stands for p[i]; bits from `valid` on are clear. Reads all 64
// bytes, however few are valid: the buffers' padding makes that safe.
struct BlockMasks {
  uint64_t ends;
  uint64_t highs;
};

inline BlockMasks ScanBlock(const char* p, std::size_t valid) {
  uint64_t ends = 0;
  uint64_t highs = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
#pragma GCC unroll 4
  for (int part = 0; part < 4; ++part) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    const auto e = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    const auto h = static_cast<uint32_t>(_mm_movemask_epi8(v));
    ends |= uint64_t{e} << (16 * part);
    highs |= uint64_t{h} << (16 * part);
  }
#else
  for (int i = 0; i < 64; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    ends |= uint64_t{c == '\r' || c == '\n'} << i;
    highs |= uint64_t{c >> 7} << i;
  }
#endif
  if (valid < 64) {
    const uint64_t inside = (uint64_t{1} << valid) - 1;
    ends &= inside;
    highs &= inside;
  }
  return {ends, highs};
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

// Reads through EINTR; 0 at the end of the file.
std::size_t ReadSome(int fd, char* into, std::size_t size, const std::string& path) {
  for (;;) {
    const ssize_t got = ::read(fd, into, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) ThrowIO(errno, "Could not read", path);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Input

struct TextInputStream::Impl {
  std::string path;
  int fd = -1;
  TextEncoding requested = TextEncoding::UTF8;
  TextEncoding active = TextEncoding::UTF8;
  bool started = false;
  bool closed = false;
  bool sourceEnded = false;  // read(2) has returned 0
  bool inputDone = false;    // and everything has been decoded
  // The last line ended with a CR that was the last byte at hand: an LF that
  // follows belongs to the same line end.
  bool pendingLF = false;

  // Decoded text (UTF-8) lives in one of two buffers; [pos, end) is not yet
  // handed out. The look-ahead of Eof() never overwrites the buffer that holds
  // the last line handed out (viewBuffer), so that line stays valid as long
  // as the header promises: until the next read.
  Buffer buffers[2];
  int current = 0;
  int viewBuffer = -1;
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t pos = 0;
  std::size_t end = 0;

  // Where the line scan is: the masks of the block of up to 64 bytes at
  // `block`, less the bits of the bytes before `pos`. Scanning goes on at
  // `blockEnd`, or at `pos` when that is further. Lines are found by taking
  // bits off `ends`, so that the bytes are looked at once per block, not once
  // per line.
  std::size_t block = 0;
  std::size_t blockEnd = 0;
  uint64_t ends = 0;
  uint64_t highs = 0;

  // UTF-16: undecoded bytes, and a high surrogate waiting for its partner.
  bool bigEndian = false;
  std::unique_ptr<char[]> raw;
  std::size_t rawLength = 0;
  char16_t pendingHigh = 0;

  // A line mended from ill-formed UTF-8.
  std::string mended;

  void UseBuffer(int index) {
    current = index;
    data = buffers[index].bytes.get();
    capacity = buffers[index].capacity;
  }

  // Reads until at least `least` bytes are in, or the file ends.
  std::size_t ReadAtLeast(char* into, std::size_t size, std::size_t least) {
    std::size_t total = 0;
    while (total < least) {
      const std::size_t got = ReadSome(fd, into + total, size - total, path);
      if (got == 0) {
        sourceEnded = true;
        break;
      }
      total += got;
    }
    return total;
  }

  // The first read: settles the decoding and drops the byte-order mark.
  void Start() {
    started = true;
    buffers[0].Allocate(kReadBytes);
    UseBuffer(0);
    end = ReadAtLeast(data, capacity, 3);
    const FirstBytes first = DecideEncoding({data, end}, requested);
    active = first.encoding;
    if (active == TextEncoding::UTF8) {
      pos = first.mark;
      return;
    }
    bigEndian = first.bigEndian;
    raw = std::make_unique<char[]>(kReadBytes);
    rawLength = end - first.mark;
    std::memcpy(raw.get(), data + first.mark, rawLength);
    end = 0;
  }

  // Appends more decoded text after `end`. From a read, the unread rest moves
  // to the front of the buffer (which grows when a line fills most of it).
  // From Eof(), called only when nothing is left, the text goes into a buffer
  // that doesn't hold the last line handed out. False at the end of input.
  bool ReadMore(bool keepLastLine) {
    if (inputDone) return false;
    ends = highs = 0;
    blockEnd = 0;
    if (keepLastLine) {
      if (viewBuffer == current) {
        const int other = 1 - current;
        if (!buffers[other].bytes) buffers[other].Allocate(kReadBytes);
        UseBuffer(other);
      }
      pos = end = 0;
    } else {
      if (pos > 0) {
        std::memmove(data, data + pos, end - pos);
        end -= pos;
        pos = 0;
      }
      if (capacity - end < capacity / 4) {
        Buffer larger;
        larger.Allocate(capacity * 2);
        std::memcpy(larger.bytes.get(), data, end);
        buffers[current] = std::move(larger);
        UseBuffer(current);
      }
    }
    const std::size_t got = Produce(data + end, capacity - end);
    if (got == 0) {
      inputDone = true;
      return false;
    }
    end += got;
    return true;
  }

  // Up to `room` bytes (at least 64K) of decoded text; 0 at the end.
  std::size_t Produce(char* into, std::size_t room) {
    if (active == TextEncoding::UTF8) {
      const std::size_t got = ReadSome(fd, into, room, path);
      if (got == 0) sourceEnded = true;
      return got;
    }
    // Each code unit gives at most 3 bytes; a surrogate left over from the
    // previous call and the end of the file add at most 9.
    const std::size_t maxUnits = (room - 16) / 3;
    for (;;) {
      const std::size_t want = std::min(kReadBytes, maxUnits * 2);
      if (!sourceEnded && rawLength < want) {
        const std::size_t got = ReadSome(fd, raw.get() + rawLength, want - rawLength, path);
        if (got == 0) sourceEnded = true;
        rawLength += got;
      }
      const std::size_t units = std::min(rawLength / 2, maxUnits);
      std::size_t made = DecodeUtf16(reinterpret_cast<const unsigned char*>(raw.get()), units, into);
      const std::size_t used = units * 2;
      if (used > 0) {
        std::memmove(raw.get(), raw.get() + used, rawLength - used);
        rawLength -= used;
      }
      if (sourceEnded && rawLength < 2) {
        if (pendingHigh != 0) {
          made += detail::PutUtf8(0xFFFD, into + made);
          pendingHigh = 0;
        }
        if (rawLength == 1) {  // half a code unit
          made += detail::PutUtf8(0xFFFD, into + made);
          rawLength = 0;
        }
      }
      if (made > 0 || (sourceEnded && rawLength == 0)) return made;
    }
  }

  std::size_t DecodeUtf16(const unsigned char* in, std::size_t units, char* out) {
    std::size_t made = 0;
    std::size_t i = 0;
    while (i < units) {
#if defined(__SSE2__)
      // Eight ASCII code units at a time.
      if (pendingHigh == 0) {
        const __m128i highMask = _mm_set1_epi16(static_cast<short>(0xFF80));
        while (units - i >= 8) {
          __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
          if (bigEndian) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
          const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, highMask), _mm_setzero_si128());
          if (_mm_movemask_epi8(ascii) != 0xFFFF) break;
          _mm_storel_epi64(reinterpret_cast<__m128i*>(out + made), _mm_packus_epi16(v, v));
          made += 8;
          i += 8;
        }
        if (i == units) break;
      }
#endif
      const unsigned char* at = in + 2 * i;
      const auto unit = static_cast<char16_t>(bigEndian ? (at[0] << 8) | at[1] : at[0] | (at[1] << 8));
      ++i;
      if (pendingHigh != 0) {
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          const char32_t code = 0x10000 + ((char32_t{pendingHigh} - 0xD800) << 10) + (unit - 0xDC00u);
          made += detail::PutUtf8(code, out + made);
          pendingHigh = 0;
          continue;
        }
        made += detail::PutUtf8(0xFFFD, out + made);
        pendingHigh = 0;
      }
      if (unit < 0x80) {
        out[made++] = static_cast<char>(unit);
      } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        pendingHigh = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        made += detail::PutUtf8(0xFFFD, out + made);
      } else {
        made += detail::PutUtf8(unit, out + made);
      }
    }
    return made;
  }

  // Hands out [begin, begin + length): as it stands when it is valid UTF-8,
  // mended otherwise. (Text decoded from UTF-16 is valid by construction.)
  std::string_view Hand(const char* begin, std::size_t length, bool nonAscii) {
    if (nonAscii && active == TextEncoding::UTF8) {
      const std::string_view line(begin, length);
      const std::size_t good = detail::WellFormedUtf8Prefix(line);
      if (good != length) {
        mended.assign(begin, good);
        detail::AppendMendedUtf8(line.substr(good), mended);
        viewBuffer = -1;
        // Padded like the buffers; the padding is not part of the line.
        const std::size_t size = mended.size();
        mended.append(kPadding, '\0');
        return {mended.data(), size};
      }
    }
    viewBuffer = current;
    return {begin, length};
  }
};

TextInputStream::TextInputStream() : impl_(std::make_unique<Impl>()) {}

TextInputStream::~TextInputStream() {
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

std::string TextInputStream::ReadLine() { return std::string(ReadLineView()); }

std::string_view TextInputStream::ReadLineView() { return ReadPaddedLine().view(); }

PaddedText TextInputStream::ReadPaddedLine() {
  Impl& s = *impl_;
  const PaddedText none(std::string_view(kNoLine, 0));
  if (s.closed) return none;
  if (!s.started) s.Start();
  if (s.pos == s.end && !s.ReadMore(false)) return none;
  if (s.pendingLF) {
    s.pendingLF = false;
    if (s.data[s.pos] == '\n' && ++s.pos == s.end && !s.ReadMore(false)) return none;
  }
  bool nonAscii = false;
  for (;;) {
    if (s.ends != 0) {
      const int bit = __builtin_ctzll(s.ends);
      if ((s.highs & ((uint64_t{1} << bit) - 1)) != 0) nonAscii = true;
      const std::size_t stop = s.block + static_cast<std::size_t>(bit);
      std::size_t next = stop + 1;
      if (s.data[stop] == '\r') {
        if (next < s.end) {
          if (s.data[next] == '\n') ++next;
        } else {
          s.pendingLF = true;
        }
      }
      const std::size_t consumed = next - s.block;
      if (consumed >= 64) {
        s.ends = s.highs = 0;
      } else {
        const uint64_t rest = ~((uint64_t{1} << consumed) - 1);
        s.ends &= rest;
        s.highs &= rest;
      }
      const std::size_t start = s.pos;
      s.pos = next;
      return PaddedText(s.Hand(s.data + start, stop - start, nonAscii));
    }
    // No line end in the rest of the block: all of it belongs to this line.
    if (s.highs != 0) nonAscii = true;
    s.highs = 0;
    const std::size_t from = std::max(s.blockEnd, s.pos);
    if (from >= s.end) {
      const std::size_t scanned = from - s.pos;
      if (!s.ReadMore(false)) {  // a last line without an ending
        const std::size_t start = s.pos;
        s.pos = s.end;
        return PaddedText(s.Hand(s.data + start, s.end - start, nonAscii));
      }
      s.blockEnd = s.pos + scanned;
      continue;
    }
    s.block = from;
    s.blockEnd = std::min(from + 64, s.end);
    const BlockMasks masks = ScanBlock(s.data + from, s.blockEnd - from);
    s.ends = masks.ends;
    s.highs = masks.highs;
  }
}

bool TextInputStream::Eof() {
  Impl& s = *impl_;
  if (s.closed) return true;
  if (!s.started) s.Start();
  for (;;) {
    if (s.pos < s.end) {
      if (!s.pendingLF) return false;
      s.pendingLF = false;
      if (s.data[s.pos] != '\n') return false;
      ++s.pos;
      continue;
    }
    if (!s.ReadMore(true)) return true;
  }
}

void TextInputStream::Close() {
  Impl& s = *impl_;
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
  s.closed = true;
  s.buffers[0] = {};
  s.buffers[1] = {};
  s.data = nullptr;
  s.pos = s.end = s.capacity = 0;
  s.raw.reset();
  s.mended = std::string();
}

// ---------------------------------------------------------------------------
// Output

namespace {

// The test hook that makes write(2) fail (see text_stream_testing.h).
struct WriteFailure {
  std::mutex mutex;
  std::size_t remaining = 0;
  int errorNumber = 0;
};
WriteFailure g_writeFailure;
std::atomic<bool> g_writeFailureArmed{false};

// The test hook that makes the folder sync fail; 0 when unset.
std::atomic<int> g_folderSyncFailure{0};

ssize_t SystemWrite(int fd, const char* bytes, std::size_t size) {
  if (g_writeFailureArmed.load(std::memory_order_relaxed)) {
    std::lock_guard<std::mutex> lock(g_writeFailure.mutex);
    if (g_writeFailureArmed.load(std::memory_order_relaxed)) {
      if (g_writeFailure.remaining == 0) {
        errno = g_writeFailure.errorNumber;
        return -1;
      }
      const ssize_t written = ::write(fd, bytes, std::min(size, g_writeFailure.remaining));
      if (written > 0) g_writeFailure.remaining -= static_cast<std::size_t>(written);
      return written;
    }
  }
  return ::write(fd, bytes, size);
}

// The process's umask, read without changing it: umask(2) can only be read
// by setting it, which races with other threads creating files.
mode_t CurrentUmask() {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char text[4096];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got > 0) {
      text[got] = '\0';
      if (const char* line = std::strstr(text, "\nUmask:")) {
        return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8)) & 0777;
      }
    }
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// Where a copy chosen to go to a path really goes.
struct Destination {
  std::filesystem::path path;  // links followed
  bool exists = false;
  struct stat status {};  // when it exists
};

// As many links as the kernel follows in one path before it gives ELOOP.
constexpr int kMaxLinks = 40;

// Follows `path` through links, the way opening it for writing would: the
// copy must replace the file a link points to and leave the link a link. A
// dangling link names the file to make. Nothing when the path can't be
// followed: a loop of links, too many of them, or a status that can't be read.
std::optional<Destination> FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    Destination destination;
    if (::lstat(path.c_str(), &destination.status) != 0) {
      if (errno != ENOENT) return std::nullopt;
      destination.path = std::move(path);
      return destination;
    }
    if (!S_ISLNK(destination.status.st_mode)) {
      destination.exists = true;
      destination.path = std::move(path);
      return destination;
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    // A relative link is read from the link's folder; an absolute one
    // replaces the whole path. Not normalised: a ".." must be taken after the
    // links before it, as the kernel takes it.
    path = path.parent_path() / next;
  }
  return std::nullopt;
}

// Whether an existing file may be replaced by the copy: a regular file that
// may be written. A device, FIFO, socket or folder is not a file to save
// over, and a read-only file is one its owner meant to keep; neither is
// touched. The mode bits are asked as well as access(2), which grants root
// any file: a file with no write bit at all is read-only for root too.
bool MayReplace(const Destination& existing) {
  return S_ISREG(existing.status.st_mode) && (existing.status.st_mode & 0222) != 0 &&
         ::faccessat(AT_FDCWD, existing.path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Syncs the folder, so that a name just renamed into it survives a power
// failure. 0, or the errno of what failed.
int SyncFolder(const std::filesystem::path& folder) {
  if (const int failure = g_folderSyncFailure.load()) return failure;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int synced = ::fsync(fd);
  const int syncError = errno;
  ::close(fd);
  return synced == 0 ? 0 : syncError;
}

// Temporaries removed on SIGTERM, SIGINT and SIGHUP. These signals end the
// process without running destructors, and would leave the temporaries
// behind. The handler removes every live one and then lets the signal take
// its course. It may run on any thread at any moment, so it reads only a
// fixed table in static storage, through lock-free atomics, and calls only
// async-signal-safe functions. (SIGKILL can't be caught: its leftovers keep
// their recognisable names.)

constexpr int kTerminatingSignals[] = {SIGTERM, SIGINT, SIGHUP};

enum SlotState : int {
  kFree,
  // The owning stream is making, renaming or removing the temporary, with
  // the signals held off on its own thread; a handler on another thread waits.
  kBusy,
  // The temporary exists at `path`: the handler removes it.
  kLive,
  // The handler has taken it; it is never used again.
  kTaken,
};

struct TemporarySlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free);

// The application writes one copy at a time; the rest is for tests and for
// streams a caller forgot. A stream that finds no free slot still works, but
// its temporary is not removed on these signals.
constexpr int kSlots = 32;
TemporarySlot g_slots[kSlots];

// What each signal did before the handler was installed.
struct sigaction g_previous[std::size(kTerminatingSignals)];

void RemoveTemporariesOnSignal(int signalNumber, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  for (TemporarySlot& slot : g_slots) {
    // A busy spell is a few system calls; the wait is bounded all the same,
    // so that a stopped thread can't keep the process from ending.
    for (int waits = 0; slot.state.load() == kBusy && waits < 2000; ++waits) {
      const timespec millisecond{0, 1000000};
      ::nanosleep(&millisecond, nullptr);
    }
    int live = kLive;
    if (slot.state.compare_exchange_strong(live, kTaken)) ::unlink(slot.path);
  }
  std::size_t index = 0;
  while (kTerminatingSignals[index] != signalNumber) ++index;
  const struct sigaction& previous = g_previous[index];
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    previous.sa_sigaction(signalNumber, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signalNumber);
  } else {
    // End the process as the signal would have: it is held off until this
    // handler returns, and then it finds the default action.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signalNumber, &standard, nullptr);
    ::raise(signalNumber);
  }
  errno = savedErrno;
}

void InstallSignalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (std::size_t i = 0; i < std::size(kTerminatingSignals); ++i) {
      struct sigaction previous {};
      if (::sigaction(kTerminatingSignals[i], nullptr, &previous) != 0) continue;
      // A signal the process ignores (SIGHUP under nohup) stays ignored.
      if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN) continue;
      g_previous[i] = previous;
      struct sigaction handler {};
      handler.sa_sigaction = RemoveTemporariesOnSignal;
      // SA_RESTART: when a handler installed before lets the process go on,
      // reads and writes that the signal interrupted carry on, as they did.
      handler.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&handler.sa_mask);
      for (const int other : kTerminatingSignals) sigaddset(&handler.sa_mask, other);
      ::sigaction(kTerminatingSignals[i], &handler, nullptr);
    }
  });
}

// Holds the terminating signals off on this thread while a temporary is made
// and entered in the table, or renamed or removed and taken out of it: a
// signal in between could leave a file behind, or remove the wrong one.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signalNumber : kTerminatingSignals) sigaddset(&held, signalNumber);
    pthread_sigmask(SIG_BLOCK, &held, &saved_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

// A free slot, now busy; -1 when none is free.
int ClaimSlot() {
  for (int i = 0; i < kSlots; ++i) {
    int free = kFree;
    if (g_slots[i].state.compare_exchange_strong(free, kBusy)) return i;
  }
  return -1;
}

}  // namespace

namespace testing {

void SetWriteFailureAfter(std::size_t bytes, int errnoValue) {
  std::lock_guard<std::mutex> lock(g_writeFailure.mutex);
  g_writeFailure.remaining = bytes;
  g_writeFailure.errorNumber = errnoValue;
  g_writeFailureArmed.store(true);
}

void ClearWriteFailure() {
  std::lock_guard<std::mutex> lock(g_writeFailure.mutex);
  g_writeFailureArmed.store(false);
}

void SetFolderSyncFailure(int errnoValue) { g_folderSyncFailure.store(errnoValue); }

void ClearFolderSyncFailure() { g_folderSyncFailure.store(0); }

}  // namespace testing

struct TextOutputStream::Impl {
  std::filesystem::path target;       // as chosen, for messages
  std::filesystem::path destination;  // links followed: what the copy replaces
  std::string tempPath;  // empty once renamed over the target
  int slot = -1;         // the temporary's entry in g_slots, if any
  int fd = -1;
  std::unique_ptr<char[]> buffer;
  std::size_t length = 0;
  bool closed = false;
  // The first failure; every later call reports it again, so that a caller
  // who goes on regardless can't end up with a file that lacks lines.
  int failure = 0;
  std::string failureText;

  [[noreturn]] void Fail(int errorNumber, const char* what) {
    failure = errorNumber;
    failureText = IOText(errorNumber, what, target.string());
    throw IOException(failure, failureText);
  }

  void CheckUsable() {
    if (failure != 0) throw IOException(failure, failureText);
    if (closed) throw IOException(EBADF, "\"" + target.string() + "\" is already closed.");
  }

  void WriteAll(const char* bytes, std::size_t size) {
    while (size > 0) {
      const ssize_t written = SystemWrite(fd, bytes, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        Fail(errno, "Could not write");
      }
      if (written == 0) Fail(ENOSPC, "Could not write");
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
  }

  void Flush() {
    const std::size_t size = length;
    length = 0;
    WriteAll(buffer.get(), size);
  }

  // Takes the temporary out of the table for a rename or removal: true when
  // it was there, and a signal's handler now leaves it alone. False when
  // there is no entry, or when a handler has taken it (and removes it).
  bool Unlist() {
    int live = kLive;
    return slot >= 0 && g_slots[slot].state.compare_exchange_strong(live, kBusy);
  }

  // Removes the temporary, which is taken out of the table first.
  void RemoveTemporary() {
    const SignalsHeld held;
    if (slot < 0) {
      ::unlink(tempPath.c_str());
    } else if (Unlist()) {
      ::unlink(tempPath.c_str());
      g_slots[slot].state.store(kFree);
    }
    slot = -1;
    tempPath.clear();
  }
};

TextOutputStream::TextOutputStream() : impl_(std::make_unique<Impl>()) {}

TextOutputStream::~TextOutputStream() {
  if (impl_->fd >= 0) ::close(impl_->fd);
  if (!impl_->tempPath.empty()) impl_->RemoveTemporary();
}

std::unique_ptr<TextOutputStream> TextOutputStream::Create(const FolderItem& file) {
  const std::filesystem::path& target = file.Path();
  std::optional<Destination> destination = FollowLinks(target);
  if (!destination || (destination->exists && !MayReplace(*destination))) return nullptr;

  // Absolute, so that the signal handler removes the right file even after
  // the working folder has changed.
  std::error_code noFolder;
  std::filesystem::path absolute = std::filesystem::absolute(destination->path, noFolder);
  if (!noFolder) destination->path = std::move(absolute);

  // A hidden name beside the file to replace, so that the rename stays
  // within one file system and a leftover after a crash is recognisable.
  std::string name = destination->path.filename().string();
  if (name.size() > 200) name.resize(200);  // room for the suffix within NAME_MAX
  std::string path = (FolderOf(destination->path) / ("." + name + ".XXXXXX")).string();

  InstallSignalHandlers();
  std::unique_ptr<TextOutputStream> stream(new TextOutputStream());
  Impl& s = *stream->impl_;
  {
    // Made and entered in the table with no signal in between. The name is
    // made in the table's own storage, which the handler reads.
    const SignalsHeld held;
    s.slot = path.size() < PATH_MAX ? ClaimSlot() : -1;
    char* temporary = path.data();
    if (s.slot >= 0) temporary = std::strcpy(g_slots[s.slot].path, path.c_str());
    s.fd = ::mkostemp(temporary, O_CLOEXEC);
    if (s.fd < 0) {
      if (s.slot >= 0) g_slots[s.slot].state.store(kFree);
      s.slot = -1;
      return nullptr;
    }
    s.tempPath = temporary;
    if (s.slot >= 0) g_slots[s.slot].state.store(kLive);
  }

  // mkstemp makes the file 0600; give it the mode of the file replaced, or
  // the one a newly created file would get. (Without it, the stream's
  // destructor removes the temporary.)
  const mode_t mode = destination->exists ? destination->status.st_mode & 07777 : 0666 & ~CurrentUmask();
  if (::fchmod(s.fd, mode) != 0) return nullptr;

  s.target = target;
  s.destination = std::move(destination->path);
  s.buffer = std::make_unique<char[]>(kOutputBytes);
  return stream;
}

void TextOutputStream::WriteLine(std::string_view text) {
  Impl& s = *impl_;
  s.CheckUsable();
  if (text.size() >= kOutputBytes - s.length) [[unlikely]] {
    s.Flush();
    // A line longer than the buffer goes out as it is.
    if (text.size() >= kOutputBytes) {
      s.WriteAll(text.data(), text.size());
      s.WriteAll("\n", 1);
      return;
    }
  }
  std::memcpy(s.buffer.get() + s.length, text.data(), text.size());
  s.length += text.size();
  s.buffer[s.length++] = '\n';
}

void TextOutputStream::Close() {
  Impl& s = *impl_;
  if (s.closed && s.failure == 0) return;
  s.CheckUsable();
  s.Flush();
  if (::fsync(s.fd) != 0) s.Fail(errno, "Could not save");
  const int fd = s.fd;
  s.fd = -1;
  if (::close(fd) != 0) s.Fail(errno, "Could not save");
  {
    // Renamed and taken out of the table with no signal in between: the
    // handler must neither remove the copy's new name nor miss a temporary
    // that stays because the rename failed.
    const SignalsHeld held;
    const bool unlisted = s.Unlist();
    if (::rename(s.tempPath.c_str(), s.destination.c_str()) != 0) {
      const int error = errno;
      if (unlisted) g_slots[s.slot].state.store(kLive);
      s.Fail(error, "Could not replace");
    }
    if (unlisted) g_slots[s.slot].state.store(kFree);
    s.slot = -1;
    s.tempPath.clear();
  }
  s.closed = true;
  s.buffer.reset();
  // Make the new name itself durable. The copy is already in place and
  // complete, so a failure here is not reported: an exception would tell the
  // user that the save failed when the target already holds the copy.
  SyncFolder(FolderOf(s.destination));
}

}  // namespace fw
