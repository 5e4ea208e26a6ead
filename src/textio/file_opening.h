// Files by name: paths, identities, and the opening of inputs and outputs,
// with the diagnostics of what fails. The system's calls are in system/files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "system/files.h"

/// The longest full path name a file may be opened under.
inline constexpr std::size_t kMaxPathLength = 256;

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

/// Opens `name` (shown as `path` in diagnostics) for `access`, without
/// blocking; a failed open raises its diagnostic (29 when `must_exist` and
/// the file is absent).
int OpenOrRaise(const std::string& name, const std::string& path, int unit, FileAccess access,
                bool must_exist);

/// The diagnostic of an open that failed with `error`: 29 when `must_exist`
/// and the file is absent, 9 for a refused permission or a read-only file
/// system, 42 for a missing device, 43 for a name too long, else 30.
int OpenFailureDiagnostic(int error, bool must_exist);

/// The identity of the file or directory at `path`; false when there is none.
bool IdentityOf(const std::string& path, FileIdentity& identity);

/// The name that symbolic links starting at `name` lead to; that file need not exist.
std::string FollowSymbolicLinks(std::string name);

/// Where a name leads: the identity of the file when it exists, else the
/// identity of the directory that would hold it and the file's name there
/// (symbolic links followed). Two names with the same place are one file,
/// whatever their spelling (./input.dat, a link to the directory).
struct FilePlace {
  bool exists = false;
  bool known = false;  // false when neither the file nor its directory is found
  FileIdentity identity;
  std::string leaf;
  bool operator==(const FilePlace& other) const {
    return known && other.known && exists == other.exists && identity == other.identity &&
           (exists || leaf == other.leaf);
  }
};
FilePlace PlaceOf(const std::string& name);
