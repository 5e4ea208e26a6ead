// Putting files in place: temporaries made beside them, renames, and locks
// on the directories that hold them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "system/files.h"

/// Creates a new, empty file for writing, named `name` with its last six
/// characters (XXXXXX) replaced by random ones, and sets `name` to it; the
/// descriptor, or -1 when none can be made (the reason in errno).
int CreateUniqueFile(std::string& name);

/// A second descriptor of the file open on `fd`, or -1.
int DuplicateDescriptor(int fd);

/// Gives the file the owner and group (POSIX; nothing on Windows).
bool ChangeOwner(int fd, unsigned owner, unsigned group);

/// Gives the file the permission bits `mode` (POSIX; on Windows, where a new
/// file takes the directory's permissions, only the read-only attribute when
/// the owner may not write).
bool ChangeMode(int fd, unsigned mode);

/// The permission bits of a file created now: 0644 less the umask.
unsigned NewFileMode();

enum class RenameMode {
  kReplace,    // `to` replaced when it exists
  kNoReplace,  // fails (EEXIST) when `to` exists
  kExchange,   // `from` and `to` swap names; both must exist
};

/// Renames `from` to `to`, written through to the disk on Windows. A mode
/// the file system or the system cannot do fails with EINVAL (Windows never
/// exchanges: the caller sets the earlier file aside instead).
bool RenameFile(const std::string& from, const std::string& to, RenameMode mode);

/// Removes the file `name` (on Windows a read-only one too).
bool RemoveFile(const std::string& name);

/// The names in `directory` ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& directory);

/// An exclusive lock on a directory among the processes of this computer:
/// flock on POSIX, a named mutex per directory identity on Windows.
class DirectoryLock {
 public:
  /// Opens the directory; opened() is false when it cannot be.
  explicit DirectoryLock(const std::string& name);
  ~DirectoryLock();  // releases the lock
  DirectoryLock(DirectoryLock&& other) noexcept;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  DirectoryLock& operator=(DirectoryLock&&) = delete;

  bool opened() const { return fd_ >= 0; }
  /// The directory's identity; false when it cannot be known.
  bool Identify(FileIdentity& identity) const;
  enum class Outcome {
    kLocked,
    kUnsupported,  // the file system keeps no locks (ENOLCK, EOPNOTSUPP)
    kFailed,       // errno tells why
  };
  /// Takes the lock, waiting for another process that holds it. When the
  /// lock is not had within about a second, `waiting` is called once with
  /// the holder's process id (0 when it cannot be known), and the wait goes
  /// on. A directory that could not be opened is taken as locked.
  Outcome Lock(const std::function<void(std::int64_t holder)>& waiting);
  /// Sends the directory's entries to the disk, so that renames in it last
  /// (Windows: done by the renames themselves); false when that fails.
  bool Sync();

 private:
  int fd_ = -1;
  std::intptr_t mutex_ = 0;  // Windows: the named mutex, while locked
};
