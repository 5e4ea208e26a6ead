#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

namespace {

// The process that holds the flock of the directory open on `fd`, as
// /proc/locks tells it (Linux); 0 when it cannot be known.
std::int64_t LockHolder(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return 0;
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", ::major(st.st_dev), ::minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr) return 0;
  std::int64_t holder = 0;
  char line[256];
  while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
    long long pid = 0;
    char kind[16], which[64];
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; waiters have "->".
    if (std::sscanf(line, "%*d: %15s %*s %*s %lld %63s", kind, &pid, which) == 3 &&
        std::string_view(kind) == "FLOCK" && std::string_view(which) == file) {
      holder = pid;
    }
  }
  std::fclose(locks);
  return holder;
}

DirectoryLock::Outcome Unlocked() {
  return errno == ENOLCK || errno == EOPNOTSUPP ? DirectoryLock::Outcome::kUnsupported
                                                : DirectoryLock::Outcome::kFailed;
}

}  // namespace

DirectoryLock::Outcome DirectoryLock::Lock(const std::function<void(std::int64_t)>& waiting) {
  if (fd_ < 0) return Outcome::kLocked;
  // Tried without waiting for about a second, in growing steps, so that the
  // wait can be told; then awaited.
  for (useconds_t pause = 1000, waited = 0; waited < 1000000;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Outcome::kLocked;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return Unlocked();
    ::usleep(pause);
    waited += pause;
    pause = std::min(2 * pause, 100000u);
  }
  waiting(LockHolder(fd_));
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return Unlocked();
  }
  return Outcome::kLocked;
}

bool DirectoryLock::Sync() { return fd_ < 0 || SyncDescriptor(fd_); }
