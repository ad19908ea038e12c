#pragma once
// Hooks for tests of code that reads or writes text streams. Not for use by
// the application.

#include <cstddef>

namespace fw::testing {

// The input streams read the file in reads of this many bytes; the first read
// takes exactly this many from the start of the file (byte-order mark
// included), so a test can place a sequence across the boundary.
inline constexpr std::size_t kInputReadBytes = 1024 * 1024;

// The output streams collect lines in a buffer of this many bytes and write
// it out when it is full and at Close; a line longer than it is written
// directly.
inline constexpr std::size_t kOutputBufferBytes = 1024 * 1024;

// Makes the output streams' write(2) calls fail as a full disk would: once
// `bytes` more bytes have been written (by any TextOutputStream, counted from
// this call), every write fails with errno `errnoValue` (e.g. ENOSPC); a write
// that would cross the limit writes only up to it first. Lasts until
// ClearWriteFailure. Affects the whole process; not thread-safe with streams
// writing at the same time as the call.
void SetWriteFailureAfter(std::size_t bytes, int errnoValue);
void ClearWriteFailure();

// Makes the folder sync that follows the rename in TextOutputStream::Close
// fail with errno `errnoValue` (as opening or syncing the folder could),
// until ClearFolderSyncFailure. Affects the whole process.
void SetFolderSyncFailure(int errnoValue);
void ClearFolderSyncFailure();

}  // namespace fw::testing
