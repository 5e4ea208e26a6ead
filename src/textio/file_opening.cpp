// Files by name: paths, identities, and the opening of inputs and outputs.
#include "textio/file_opening.h"

#include <cerrno>

#include "textio/diagnostics.h"

int OpenFailureDiagnostic(int error, bool must_exist) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return must_exist ? kFileNotFound : kOpenFailure;
    case EACCES:
    case EPERM:
    case EROFS:
      return kPermissionDenied;
    case ENXIO:
    case ENODEV:
      return kNoSuchDevice;
    case ENAMETOOLONG:
      return kFileNameError;
    case EBUSY:
      return kFileInUse;
    default:
      return kOpenFailure;
  }
}

namespace {

// An output is a regular file or a character device, written in blocking mode.
OutputFileState CheckedOutput(int fd, const std::string& path, int unit) {
  FileStatus status;
  if (!StatusOf(fd, status) ||
      !(status.kind == FileKind::kRegular || status.kind == FileKind::kCharacterDevice) ||
      !MakeDescriptorBlocking(fd)) {
    CloseDescriptor(fd);
    RaiseDiagnostic(kOpenFailure, unit, path);
  }
  OutputFileState state;
  state.fd = fd;
  state.is_device = status.kind == FileKind::kCharacterDevice;
  state.mode = status.mode;
  state.owner = status.owner;
  state.group = status.group;
  state.identity = status.identity;
  return state;
}

}  // namespace

int OpenOrRaise(const std::string& name, const std::string& path, int unit, FileAccess access,
                bool must_exist) {
  if (path.size() > kMaxPathLength) RaiseDiagnostic(kFileNameError, unit, path);
  const int fd = OpenDescriptor(name, access);
  if (fd < 0) RaiseDiagnostic(OpenFailureDiagnostic(errno, must_exist), unit, path);
  return fd;
}

OutputFileState OpenExistingOutput(const std::string& name, const std::string& path, int unit) {
  if (path.size() > kMaxPathLength) RaiseDiagnostic(kFileNameError, unit, path);
  FileStatus status;
  if (!StatusOf(name, status)) {
    if (errno == ENOENT) return {};
    return OpenOutputInPlace(name, path, unit);  // the open meets what stat met, and says so
  }
  // A FIFO would take the records away, a socket cannot be opened: refused
  // before anything is written.
  if (status.kind == FileKind::kFifo || status.kind == FileKind::kSocket) {
    RaiseDiagnostic(kOpenFailure, unit, path);
  }
  return CheckedOutput(OpenOrRaise(name, path, unit, FileAccess::kWrite, /*must_exist=*/false),
                       path, unit);
}

OutputFileState OpenOutputInPlace(const std::string& name, const std::string& path, int unit) {
  return CheckedOutput(
      OpenOrRaise(name, path, unit, FileAccess::kWriteCreate, /*must_exist=*/false), path, unit);
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  FileStatus status;
  if (!StatusOf(path, status)) return false;
  identity = status.identity;
  return true;
}

std::string FollowSymbolicLinks(std::string name) {
  constexpr int kMostLinks = 40;  // as the system follows them in a path
  for (int links = 0; links < kMostLinks; ++links) {
    std::string target;
    if (!ReadSymbolicLink(name, target) || target.empty()) return name;
    name = IsAbsolutePath(target) ? target : JoinPath(DirectoryOf(name), target);
  }
  return name;
}

FilePlace PlaceOf(const std::string& name) {
  FilePlace place;
  const std::string target = FollowSymbolicLinks(name);
  place.leaf = LeafOf(target);
  place.exists = IdentityOf(target, place.identity);
  place.known = place.exists || IdentityOf(DirectoryOf(target), place.identity);
  return place;
}
