// Files by name: paths, identities, and the opening of inputs and outputs.
// The operating system's file calls live here and in record_file.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// The longest full path name a file may be opened under.
inline constexpr std::size_t kMaxPathLength = 256;

/// `name` made absolute against the current directory.
std::string AbsolutePath(std::string_view name);

/// Device and inode numbers: two names of one file have the same.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// An output file as found before the run writes it.
struct OutputFileState {
  int fd = -1;             // open for writing, neither created nor truncated; -1 when absent
  bool is_device = false;  // a character device such as /dev/null, written directly
  unsigned mode = 0;       // permission bits of an existing regular file
  unsigned owner = 0;
  unsigned group = 0;
  FileIdentity identity;  // of the existing file
};

/// Opens the output `name` (shown as `path`) for writing when it exists,
/// without creating, truncating or waiting for a reader. Only a regular file
/// or a character device is taken: anything else raises the open failure,
/// and a refused open raises its diagnostic. Absent: fd is -1.
OutputFileState OpenExistingOutput(const std::string& name, const std::string& path, int unit);

/// Opens the output for writing in place, creating it when absent.
OutputFileState OpenOutputInPlace(const std::string& name, const std::string& path, int unit);

/// The identity of an opened or examined file.
FileIdentity IdentityOf(const struct stat& st);

/// Opens `name` (shown as `path` in diagnostics) with `flags`, without
/// blocking; a failed open raises its diagnostic (29 when `must_exist` and
/// the file is absent).
int OpenOrRaise(const std::string& name, const std::string& path, int unit, int flags,
                bool must_exist);

/// The diagnostic of an open that failed with `error`: 29 when `must_exist`
/// and the file is absent, 9 for a refused permission or a read-only file
/// system, 42 for a missing device, 43 for a name too long, else 30.
int OpenFailureDiagnostic(int error, bool must_exist);

/// The identity of the file or directory at `path`; false when there is none.
bool IdentityOf(const std::string& path, FileIdentity& identity);

/// The name that symbolic links starting at `name` lead to; that file need not exist.
std::string FollowSymbolicLinks(std::string name);

/// The directory part of `name` ("." when it has none), and the name in it.
std::string DirectoryOf(const std::string& name);
std::string LeafOf(const std::string& name);

/// Opens each of the standard descriptors 0, 1 and 2 that is closed on
/// /dev/null, so that no file of the run is opened on one of them.
void OpenClosedStandardDescriptors();
