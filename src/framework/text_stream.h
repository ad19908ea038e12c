#pragma once
// Line-oriented text files. Input is decoded to UTF-8; output is written as
// UTF-8 with LF line ends, into a temporary file that replaces the target only
// when the stream is closed. Each stream does its reading or writing on a
// thread of its own; its calls are for one thread at a time.

#include <memory>
#include <string>
#include <string_view>

#include "framework/folder_item.h"
#include "framework/text.h"

namespace fw {

namespace detail {
struct FileIdentity;
}

class TextInputStream {
 public:
  // The stream, or null when the file can't be opened for reading or is not a
  // regular file once links are followed (a folder, FIFO, socket or device).
  static std::unique_ptr<TextInputStream> Open(const FolderItem& file);

  ~TextInputStream();
  TextInputStream(const TextInputStream&) = delete;
  TextInputStream& operator=(const TextInputStream&) = delete;

  // The decoding of later reads, for a file whose first bytes don't tell:
  // a UTF-8 or UTF-16 byte-order mark, or a zero among the first two bytes
  // (UTF-16 big- or little-endian), decide over it, and so does a first byte
  // below 0x80 (UTF-8). UTF8 (the default) takes any byte that isn't part of
  // a well-formed sequence as Windows-1252. Set it before the first read (or
  // Eof); changing it afterwards throws RuntimeException.
  void SetEncoding(TextEncoding encoding);
  // The decoding in force: the one set until reading begins, then the one
  // the file's first bytes settled.
  TextEncoding Encoding() const;

  // The next lines, as many as are at hand (at least one; none only at the
  // end): the text as UTF-8, in which every line ends with one LF, whatever
  // its ending in the file (LF, CR LF, a lone CR, or none at the very end).
  // The text is valid until the next read, Eof or Close. Throws IOException
  // when reading fails, or when the file turns out to have changed while it
  // was read (it ended short of the size it had when it was opened, or at its
  // end its size or modification time is not what they were then).
  PaddedText ReadLines();

  // The next line without its ending, as UTF-8. Throws IOException when
  // reading fails.
  std::string ReadLine();
  // The same, without a copy: the view is valid until the next read, Eof or
  // Close.
  std::string_view ReadLineView();

  // True when no line is left. (Named so because EOF is a C macro.)
  bool Eof();

  void Close();

 private:
  friend class TextOutputStream;
  TextInputStream();
  // The file read, as it was when it was opened.
  const detail::FileIdentity& Identity() const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class TextOutputStream {
 public:
  // The stream, or null when its temporary file can't be made in the target's
  // folder (a folder that doesn't exist or can't be written). A link as the
  // target is followed: the copy replaces the file it points to (or, when it
  // dangles, the file it names), and the link stays. No stream either, and
  // the target stays untouched, when the target (links followed) exists but
  // is not a regular file (a folder, FIFO, socket or device) or is read-only,
  // or when the links loop.
  static std::unique_ptr<TextOutputStream> Create(const FolderItem& file);
  // The same, for a copy of what `source` reads: no stream either when the
  // target is the file that `source` reads, under any name (links followed,
  // or another hard link to it). The input is only read.
  static std::unique_ptr<TextOutputStream> Create(const FolderItem& file, const TextInputStream& source);

  // Without Close the temporary file is removed and the target stays as it
  // was. So it is when SIGTERM, SIGINT or SIGHUP ends the process: the first
  // stream created installs a handler that removes every stream's temporary
  // and then lets the signal end the process (or passes it on to the handler
  // installed before, if any). A signal the process ignores stays ignored.
  ~TextOutputStream();
  TextOutputStream(const TextOutputStream&) = delete;
  TextOutputStream& operator=(const TextOutputStream&) = delete;

  // Appends `text` and one LF. The bytes are written to the file on a thread
  // of the stream's own, behind the caller: a failure to write them throws
  // IOException from a later WriteLine or WriteLines, and from Close at the
  // latest.
  void WriteLine(std::string_view text);
  // Appends `lines` as they stand: text whose lines each end with one LF (as
  // TextInputStream::ReadLines gives them). Failures as for WriteLine.
  void WriteLines(std::string_view lines);

  // Flushes, syncs and renames the temporary file over the target, then
  // syncs the folder. Throws IOException when any step up to the rename
  // fails; the target then stays as it was. Once the rename is done the copy
  // is in place, and a failing folder sync is not reported.
  void Close();

 private:
  TextOutputStream();
  static std::unique_ptr<TextOutputStream> Create(const FolderItem& file, const detail::FileIdentity* source);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fw
