// Files through POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "system/files.h"

namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISCHR(mode)) return FileKind::kCharacterDevice;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  if (S_ISSOCK(mode)) return FileKind::kSocket;
  return FileKind::kOther;
}

void Fill(const struct stat& st, FileStatus& status) {
  status.kind = KindOf(st.st_mode);
  status.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  status.modified_seconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  status.modified_nanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  status.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  status.mode = static_cast<unsigned>(st.st_mode & 07777);
  status.owner = static_cast<unsigned>(st.st_uid);
  status.group = static_cast<unsigned>(st.st_gid);
}

}  // namespace

int OpenDescriptor(const std::string& name, FileAccess access) {
  int flags = O_RDONLY;
  if (access == FileAccess::kWrite) flags = O_WRONLY;
  if (access == FileAccess::kWriteCreate) flags = O_WRONLY | O_CREAT;
  int fd;
  do {
    // Without blocking: opening a FIFO would otherwise wait for its other end.
    fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool CloseDescriptor(int fd) { return ::close(fd) == 0 || errno == EINTR; }

std::ptrdiff_t ReadDescriptor(int fd, void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::ptrdiff_t ReadDescriptorAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::ptrdiff_t WriteDescriptor(int fd, const void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) return n;
    if (n == 0) {
      errno = EIO;
      return -1;
    }
    if (errno != EINTR) return -1;
  }
}

bool SeekDescriptor(int fd, std::uint64_t offset) {
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void ExpectSequentialReading(int fd) {
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

bool TruncateDescriptor(int fd) { return ::ftruncate(fd, 0) == 0; }

void BeginWriteBack(int fd, std::uint64_t offset, std::uint64_t length) {
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
}

bool SyncDescriptor(int fd) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool MakeDescriptorBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool StatusOf(int fd, FileStatus& status) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool StatusOf(const std::string& name, FileStatus& status) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return false;
  Fill(st, status);
  return true;
}

bool ReadSymbolicLink(const std::string& name, std::string& target) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  std::string text(4096, '\0');
  const ssize_t n = ::readlink(name.c_str(), text.data(), text.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= text.size()) return false;
  text.resize(static_cast<std::size_t>(n));
  target = std::move(text);
  return true;
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

bool ListDirectory(const std::string& name, std::vector<std::string>& entries) {
  DIR* directory = ::opendir(name.c_str());
  if (directory == nullptr) return false;
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string_view leaf = entry->d_name;
    if (leaf != "." && leaf != "..") entries.emplace_back(leaf);
  }
  const bool complete = errno == 0;
  ::closedir(directory);
  return complete;
}

bool ChangeDirectory(const std::string& name) { return ::chdir(name.c_str()) == 0; }

std::string AbsolutePath(std::string_view name) {
  if (IsAbsolutePath(name)) return std::string(name);
  std::string cwd(4096, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return std::string(name);
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  return JoinPath(cwd, name);
}

bool IsAbsolutePath(std::string_view name) { return !name.empty() && name.front() == '/'; }

bool IsPathSeparator(char c) { return c == '/'; }

bool HasDirectoryPart(std::string_view name) { return name.find('/') != std::string_view::npos; }

std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

std::string LeafOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string JoinPath(const std::string& directory, std::string_view leaf) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  path += leaf;
  return path;
}
