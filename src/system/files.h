// Files through the operating system: opened by UTF-8 name, read and written
// through descriptors, examined, and named by paths of the system's syntax.
// files_posix.cpp and files_windows.cpp implement it; a failed call leaves
// the reason in errno, as a POSIX error number on either system.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// Two names of one file have the same identity: device and inode numbers
/// (POSIX), volume serial number and file index (Windows).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

enum class FileKind { kRegular, kDirectory, kCharacterDevice, kFifo, kSocket, kOther };

/// What the system tells of a file.
struct FileStatus {
  FileKind kind = FileKind::kOther;
  std::uint64_t size = 0;
  std::int64_t modified_seconds = 0;  // the last change of its content,
  std::int64_t modified_nanoseconds = 0;
  FileIdentity identity;
  unsigned mode = 0;  // permission bits (Windows: 0444 or 0644, by the read-only attribute)
  unsigned owner = 0;
  unsigned group = 0;
};

enum class FileAccess {
  kRead,         // an existing file
  kWrite,        // an existing file, neither created nor truncated
  kWriteCreate,  // created when absent (mode 0644 less the umask), not truncated
};

/// Opens `name` without waiting for the other end of a FIFO and without
/// passing the descriptor to child processes; -1 when it fails. On Windows
/// the file stays open for others to read, write, rename and delete, and
/// one that another program holds open without sharing it for this open (or,
/// for writing, for its renaming) fails with EBUSY.
int OpenDescriptor(const std::string& name, FileAccess access);

/// Closes `fd`; false when the system reported a failure (for a file
/// written, a write that did not reach it).
bool CloseDescriptor(int fd);

/// Reads up to `size` bytes: how many (0 at the end of the file), or -1.
std::ptrdiff_t ReadDescriptor(int fd, void* data, std::size_t size);

/// Reads up to `size` bytes at byte `offset`, leaving the position of `fd`
/// where it is, so that another thread may read it meanwhile: how many (0 at
/// the end of the file), or -1. Windows has no such read (ENOSYS).
std::ptrdiff_t ReadDescriptorAt(int fd, void* data, std::size_t size, std::uint64_t offset);

/// Writes up to `size` bytes: how many (at least 1), or -1.
std::ptrdiff_t WriteDescriptor(int fd, const void* data, std::size_t size);

/// Reads the first `most` bytes of `name` (all of it when shorter) into
/// `text`; false when it cannot be opened or a read fails.
inline bool ReadFileStart(const std::string& name, std::size_t most, std::string& text) {
  const int fd = OpenDescriptor(name, FileAccess::kRead);
  if (fd < 0) return false;
  char block[4096];
  std::ptrdiff_t n = 0;
  while (text.size() < most &&
         (n = ReadDescriptor(fd, block, std::min(sizeof block, most - text.size()))) > 0) {
    text.append(block, static_cast<std::size_t>(n));
  }
  CloseDescriptor(fd);
  return n >= 0;
}

/// Moves to byte `offset` from the file's start.
bool SeekDescriptor(int fd, std::uint64_t offset);

/// Tells the system that `fd` will be read from its start to its end.
void ExpectSequentialReading(int fd);

/// Empties the regular file open on `fd`.
bool TruncateDescriptor(int fd);

/// Starts writing `length` bytes of `fd` from `offset` (0: all after it)
/// to the disk, without waiting (nothing on Windows).
void BeginWriteBack(int fd, std::uint64_t offset, std::uint64_t length);

/// Sends what was written to `fd` to its disk.
bool SyncDescriptor(int fd);

/// Lets reads and writes of `fd` wait again (opened without waiting).
bool MakeDescriptorBlocking(int fd);

/// The file open on `fd`, or the one `name` leads to (links followed).
bool StatusOf(int fd, FileStatus& status);
bool StatusOf(const std::string& name, FileStatus& status);

/// The target of the symbolic link `name`; false when `name` is no link.
bool ReadSymbolicLink(const std::string& name, std::string& target);

/// Whether `fd` is a terminal (a console window on Windows).
bool IsTerminal(int fd);

/// The names of the entries of directory `name` ("." and ".." left out), in
/// the order the system gives them; false when it cannot be read.
bool ListDirectory(const std::string& name, std::vector<std::string>& entries);

/// Makes `name` the working directory.
bool ChangeDirectory(const std::string& name);

/// `name` made absolute against the working directory, in the system's
/// own spelling ("C:\models\input.dat" on Windows).
std::string AbsolutePath(std::string_view name);

/// Whether a path is absolute, and whether `c` separates its parts.
bool IsAbsolutePath(std::string_view name);
bool IsPathSeparator(char c);

/// Whether `name` has a directory part: a separator, or on Windows a drive
/// ("Z:m.cdb", in the working directory of drive Z:).
bool HasDirectoryPart(std::string_view name);

/// The directory part of `name` ("." when it has none; "Z:" for "Z:m.cdb"),
/// and the name in it.
std::string DirectoryOf(const std::string& name);
std::string LeafOf(const std::string& name);

/// `leaf` in `directory` ("Z:input.dat" in "Z:").
std::string JoinPath(const std::string& directory, std::string_view leaf);
