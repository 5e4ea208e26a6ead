#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "system/console.h"

void PrepareStandardStreams() {
  for (int fd = kStandardInput; fd <= kStandardError; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is taken: this one.
    const int opened = ::open("/dev/null", fd == kStandardInput ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

// Names and texts are bytes, UTF-8 by convention, as given.
char** CommandLineArguments(int, char* argv[]) { return argv; }

bool WriteStandardError(const std::string_view* pieces, std::size_t count) {
  constexpr std::size_t kMostPieces = 8;
  struct iovec parts[kMostPieces];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count && used < kMostPieces; ++i) {
    if (pieces[i].empty()) continue;
    parts[used++] = {const_cast<char*>(pieces[i].data()), pieces[i].size()};
  }
  struct iovec* next = parts;
  while (used > 0) {
    const ssize_t n = ::writev(kStandardError, next, static_cast<int>(used));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // nowhere left to report to
    // A part written in part: the rest of it first.
    std::size_t left = static_cast<std::size_t>(n);
    while (used > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --used;
    }
    if (used > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return count <= kMostPieces;
}

// A terminal outlives the process started in it.
bool AloneInItsConsole() { return false; }

void WaitForEnter(std::string_view prompt) {
  for (std::size_t done = 0; done < prompt.size();) {
    const ssize_t n = ::write(kStandardOutput, prompt.data() + done, prompt.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  char c = '\0';
  while (c != '\n') {
    const ssize_t n = ::read(kStandardInput, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
  }
}
