#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "system/replacing.h"

int CreateUniqueFile(std::string& name) { return ::mkostemp(name.data(), O_CLOEXEC); }

int DuplicateDescriptor(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

bool ChangeOwner(int fd, unsigned owner, unsigned group) { return ::fchown(fd, owner, group) == 0; }

bool ChangeMode(int fd, unsigned mode) { return ::fchmod(fd, mode) == 0; }

unsigned NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0644u & ~static_cast<unsigned>(mask);
}

bool RenameFile(const std::string& from, const std::string& to, RenameMode mode) {
  unsigned flags = 0;
  if (mode == RenameMode::kNoReplace) flags = RENAME_NOREPLACE;
  if (mode == RenameMode::kExchange) flags = RENAME_EXCHANGE;
  int result;
  do {
    result = flags == 0 ? ::rename(from.c_str(), to.c_str())
                        : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno == ENOSYS) errno = EINVAL;
  return result == 0;
}

bool RemoveFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

DirectoryLock::DirectoryLock(const std::string& name)
    : fd_(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

DirectoryLock::~DirectoryLock() {
  if (fd_ >= 0) ::close(fd_);  // releases its lock
}

void DirectoryLock::Lock() {
  while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

void DirectoryLock::Sync() {
  if (fd_ >= 0) SyncDescriptor(fd_);
}
