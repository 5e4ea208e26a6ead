// Files by name: paths, identities, and the opening of inputs and outputs.
#include "textio/file_opening.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "textio/diagnostics.h"

std::string AbsolutePath(std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  std::string cwd(4096, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return std::string(name);
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  cwd += name;
  return cwd;
}

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
    default:
      return kOpenFailure;
  }
}

namespace {

// An output is a regular file or a character device, written in blocking mode.
OutputFileState CheckedOutput(int fd, const std::string& path, int unit) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    RaiseDiagnostic(kOpenFailure, unit, path);
  }
  OutputFileState state;
  state.fd = fd;
  state.is_device = S_ISCHR(st.st_mode);
  state.mode = static_cast<unsigned>(st.st_mode & 07777);
  state.owner = static_cast<unsigned>(st.st_uid);
  state.group = static_cast<unsigned>(st.st_gid);
  state.identity = IdentityOf(st);
  return state;
}

}  // namespace

int OpenOrRaise(const std::string& name, const std::string& path, int unit, int flags,
                bool must_exist) {
  if (path.size() > kMaxPathLength) RaiseDiagnostic(kFileNameError, unit, path);
  int fd;
  do {
    // Without blocking: opening a FIFO would otherwise wait for its other end.
    fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseDiagnostic(OpenFailureDiagnostic(errno, must_exist), unit, path);
  return fd;
}

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

OutputFileState OpenExistingOutput(const std::string& name, const std::string& path, int unit) {
  if (path.size() > kMaxPathLength) RaiseDiagnostic(kFileNameError, unit, path);
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return OpenOutputInPlace(name, path, unit);  // the open meets what stat met, and says so
  }
  // A FIFO would take the records away, a socket cannot be opened: refused
  // before anything is written.
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) RaiseDiagnostic(kOpenFailure, unit, path);
  return CheckedOutput(OpenOrRaise(name, path, unit, O_WRONLY, /*must_exist=*/false), path, unit);
}

OutputFileState OpenOutputInPlace(const std::string& name, const std::string& path, int unit) {
  return CheckedOutput(OpenOrRaise(name, path, unit, O_WRONLY | O_CREAT, /*must_exist=*/false),
                       path, unit);
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  identity = IdentityOf(st);
  return true;
}

std::string FollowSymbolicLinks(std::string name) {
  constexpr int kMostLinks = 40;  // as the system follows them in a path
  for (int links = 0; links < kMostLinks; ++links) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    std::string target(4096, '\0');
    ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return name;
    target.resize(static_cast<std::size_t>(n));
    name = target.front() == '/' ? target : DirectoryOf(name) + '/' + target;
  }
  return name;
}

std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

std::string LeafOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

void OpenClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is taken: this one.
    int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}
