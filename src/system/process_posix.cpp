#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "system/process.h"

std::int64_t CurrentProcessId() { return ::getpid(); }

bool ProcessIsGone(std::int64_t pid) {
  if (pid <= 0 || pid > INT_MAX) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::string ComputerName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return std::string(buffer, std::strlen(buffer));
}
