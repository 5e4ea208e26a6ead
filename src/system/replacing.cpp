// The parts of replacing files that are the same on every system: they go
// through the system's calls of system/files.
#include "system/replacing.h"

#include <utility>

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), mutex_(std::exchange(other.mutex_, 0)) {}

bool DirectoryLock::Identify(FileIdentity& identity) const {
  FileStatus status;
  if (fd_ < 0 || !StatusOf(fd_, status)) return false;
  identity = status.identity;
  return true;
}
