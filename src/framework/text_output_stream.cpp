// Writing text files: a temporary beside the target that replaces it only
// when the stream is closed, the thread that writes behind the caller, and
// the temporaries' removal when the process is ended by a signal.

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
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "framework/exceptions.h"
#include "framework/output_target.h"
#include "framework/text_stream.h"
#include "framework/text_stream_internal.h"
#include "framework/text_stream_testing.h"

namespace fw {
namespace {

using detail::kTerminatingSignals;

constexpr std::size_t kOutputBytes = testing::kOutputBufferBytes;

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

// Writes full buffers to the file on a thread of its own, so that the file
// system's work of storing them (copying, allocating, starting the disk)
// overlaps with the caller making the next ones. The first failure is kept
// and told at the caller's next hand-over; nothing is written after it.
class BackgroundWriter {
 public:
  static constexpr std::size_t kInFlight = 2;  // buffers handed over, not yet written

  explicit BackgroundWriter(int fd) : fd_(fd), thread_([this] { Run(); }) {}

  // Stops: what is still queued is not written.
  ~BackgroundWriter() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Hands `size` bytes of `buffer` over to be written, and gives back an
  // empty buffer (of kOutputBytes) to fill; waits while kInFlight are
  // queued. The first failure's errno, or 0, in `failure`.
  std::unique_ptr<char[]> Write(std::unique_ptr<char[]> buffer, std::size_t size, int& failure) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kInFlight || failure_ != 0; });
    if (failure_ == 0) {
      queue_.push_back({std::move(buffer), size});
      changed_.notify_all();
    } else {
      spare_.push_back(std::move(buffer));
    }
    failure = failure_;
    if (spare_.empty()) return std::make_unique<char[]>(kOutputBytes);
    std::unique_ptr<char[]> empty = std::move(spare_.back());
    spare_.pop_back();
    return empty;
  }

  // Waits until all that was handed over is written, or has failed. The
  // first failure's errno, or 0.
  int Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !writing_) || failure_ != 0; });
    return failure_;
  }

 private:
  struct Pending {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };

  void Run() {
    detail::BlockTerminatingSignals();

    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      Pending next = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
      lock.unlock();
      const int failure = WriteAll(next.bytes.get(), next.size);
      lock.lock();
      writing_ = false;
      spare_.push_back(std::move(next.bytes));
      if (failure != 0 && failure_ == 0) {
        failure_ = failure;
        for (Pending& dropped : queue_) spare_.push_back(std::move(dropped.bytes));
        queue_.clear();
      }
      changed_.notify_all();
    }
  }

  // 0, or the errno of the failure.
  int WriteAll(const char* bytes, std::size_t size) {
    const std::size_t total = size;
    while (size > 0) {
      const ssize_t written = SystemWrite(fd_, bytes, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (written == 0) return ENOSPC;
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
    // Starts the disk on what was just written, so that the sync at Close
    // finds little left to do. Only a hint: where the file system has no
    // such thing, the sync does it all.
    ::sync_file_range(fd_, static_cast<off_t>(offset_), static_cast<off_t>(total), SYNC_FILE_RANGE_WRITE);
    offset_ += total;
    return 0;
  }

  const int fd_;
  std::size_t offset_ = 0;  // bytes written so far
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> queue_;
  std::vector<std::unique_ptr<char[]>> spare_;
  bool writing_ = false;
  bool stopping_ = false;
  int failure_ = 0;
  std::thread thread_;  // last: it starts running once the rest is made
};

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
  std::unique_ptr<BackgroundWriter> writer;  // while the temporary is open
  bool closed = false;
  // The first failure; every later call reports it again, so that a caller
  // who goes on regardless can't end up with a file that lacks lines.
  int failure = 0;
  std::string failureText;

  [[noreturn]] void Fail(int errorNumber, const char* what) {
    failure = errorNumber;
    failureText = detail::IOText(errorNumber, what, target.string());
    throw IOException(failure, failureText);
  }

  void CheckUsable() {
    if (failure != 0) throw IOException(failure, failureText);
    if (closed) throw IOException(EBADF, "\"" + target.string() + "\" is already closed.");
  }

  // Hands what the buffer holds to the writer.
  void Flush() {
    if (length == 0) return;
    int failed = 0;
    buffer = writer->Write(std::move(buffer), std::exchange(length, 0), failed);
    if (failed != 0) Fail(failed, "Could not write");
  }

  // Appends bytes that the caller has made whole lines.
  void Append(const char* bytes, std::size_t size) {
    for (;;) {
      const std::size_t part = std::min(size, kOutputBytes - length);
      std::memcpy(buffer.get() + length, bytes, part);
      length += part;
      if (part == size) return;
      Flush();
      bytes += part;
      size -= part;
    }
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
  impl_->writer.reset();
  if (impl_->fd >= 0) ::close(impl_->fd);
  if (!impl_->tempPath.empty()) impl_->RemoveTemporary();
}

std::unique_ptr<TextOutputStream> TextOutputStream::Create(const FolderItem& file, const TextInputStream& source) {
  return Create(file, &source.Identity());
}

std::unique_ptr<TextOutputStream> TextOutputStream::Create(const FolderItem& file) { return Create(file, nullptr); }

std::unique_ptr<TextOutputStream> TextOutputStream::Create(const FolderItem& file,
                                                           const detail::FileIdentity* source) {
  const std::filesystem::path& target = file.Path();
  std::optional<detail::Destination> destination = detail::FollowLinks(target);
  if (!destination || (destination->exists && !detail::MayReplace(*destination, source))) return nullptr;

  // Absolute, so that the signal handler removes the right file even after
  // the working folder has changed.
  std::error_code noFolder;
  std::filesystem::path absolute = std::filesystem::absolute(destination->path, noFolder);
  if (!noFolder) destination->path = std::move(absolute);

  // A hidden name beside the file to replace, so that the rename stays
  // within one file system and a leftover after a crash is recognisable.
  std::string name = destination->path.filename().string();
  if (name.size() > 200) name.resize(200);  // room for the suffix within NAME_MAX
  std::string path = (detail::FolderOf(destination->path) / ("." + name + ".XXXXXX")).string();

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
  const mode_t mode = destination->exists ? destination->status.st_mode & 07777 : 0666 & ~detail::CurrentUmask();
  if (::fchmod(s.fd, mode) != 0) return nullptr;

  s.target = target;
  s.destination = std::move(destination->path);
  s.buffer = std::make_unique<char[]>(kOutputBytes);
  s.writer = std::make_unique<BackgroundWriter>(s.fd);
  return stream;
}

void TextOutputStream::WriteLine(std::string_view text) {
  Impl& s = *impl_;
  s.CheckUsable();
  if (text.size() >= kOutputBytes - s.length) [[unlikely]] {
    s.Append(text.data(), text.size());
    s.Append("\n", 1);
    return;
  }
  std::memcpy(s.buffer.get() + s.length, text.data(), text.size());
  s.length += text.size();
  s.buffer[s.length++] = '\n';
}

void TextOutputStream::WriteLines(std::string_view lines) {
  Impl& s = *impl_;
  s.CheckUsable();
  s.Append(lines.data(), lines.size());
}

void TextOutputStream::Close() {
  Impl& s = *impl_;
  if (s.closed && s.failure == 0) return;
  s.CheckUsable();
  s.Flush();
  if (const int failed = s.writer->Drain()) s.Fail(failed, "Could not write");
  s.writer.reset();
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
  SyncFolder(detail::FolderOf(s.destination));
}

}  // namespace fw
