#include "output/output_pair.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "textio/diagnostics.h"

namespace {

// The temporaries that exist, for a signal handler to remove: fixed storage,
// read without taking a lock or memory.
struct Temporary {
  char path[4096];
  volatile std::sig_atomic_t in_use;
};
Temporary g_temporaries[4];

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

// Holds back the interrupting signals while it lives, so that a temporary is
// never made, renamed or forgotten halfway.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : kInterruptions) sigaddset(&held, signal_number);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptionsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
  sigset_t previous_;
};

extern "C" void RemoveTemporariesAndEnd(int signal_number) {
  for (Temporary& temporary : g_temporaries) {
    if (temporary.in_use != 0) ::unlink(temporary.path);
  }
  // Ends by the signal itself, so that the parent sees what ended the run
  // (a shell reports 128 + its number).
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
  ::raise(signal_number);
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &own, nullptr);
  ::_exit(128 + signal_number);
}

// Creates an empty temporary for `leaf` in `directory`, known to the signal
// handler; -1 when none can be made there.
int CreateTemporary(const std::string& directory, const std::string& leaf, int& registered,
                    std::string& temporary) {
  std::string name = directory + "/." + leaf + ".XXXXXX";
  if (name.size() >= sizeof g_temporaries[0].path) return -1;
  InterruptionsHeld held;
  for (int i = 0; i < static_cast<int>(std::size(g_temporaries)); ++i) {
    Temporary& slot = g_temporaries[i];
    if (slot.in_use != 0) continue;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    std::memcpy(slot.path, name.c_str(), name.size() + 1);
    slot.in_use = 1;
    registered = i;
    temporary = std::move(name);
    return fd;
  }
  return -1;
}

void Forget(int& registered) {
  if (registered < 0) return;
  InterruptionsHeld held;
  g_temporaries[registered].in_use = 0;
  registered = -1;
}

// Exclusive locks on up to two directories, taken in the order of their
// identities so that two runs never wait for each other.
class DirectoryLocks {
 public:
  DirectoryLocks(const std::string& first, const std::string& second) {
    const std::string* names[] = {&first, &second};
    FileIdentity identities[2];
    for (int i = 0; i < 2; ++i) {
      if (names[i]->empty()) continue;
      fds_[i] = ::open(names[i]->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st;
      if (fds_[i] >= 0 && ::fstat(fds_[i], &st) == 0) {
        identities[i] = {static_cast<std::uint64_t>(st.st_dev),
                         static_cast<std::uint64_t>(st.st_ino)};
      }
    }
    if (fds_[0] >= 0 && fds_[1] >= 0 && identities[0] == identities[1]) {
      ::close(std::exchange(fds_[1], -1));  // one directory: one lock
    }
    const bool swap = std::pair(identities[1].device, identities[1].inode) <
                      std::pair(identities[0].device, identities[0].inode);
    for (int fd : swap ? std::array{fds_[1], fds_[0]} : std::array{fds_[0], fds_[1]}) {
      if (fd >= 0) ::flock(fd, LOCK_EX);
    }
  }
  ~DirectoryLocks() {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);  // releases its lock
    }
  }
  DirectoryLocks(const DirectoryLocks&) = delete;
  DirectoryLocks& operator=(const DirectoryLocks&) = delete;

 private:
  int fds_[2] = {-1, -1};
};

// The file written through `fd`; the descriptor is closed again when no
// buffer can be had for it.
OutputFile Adopted(int fd, int unit, std::string path, bool truncate_on_first_write) {
  try {
    return OutputFile::Adopt(fd, unit, std::move(path), truncate_on_first_write);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

unsigned NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0644u & ~static_cast<unsigned>(mask);
}

}  // namespace

void OutputPair::Slot::Open(Output output, const FileIdentity& model, const Slot* other) {
  const std::string name(output.name);
  std::string path = AbsolutePath(name);
  OutputFileState state = OpenExistingOutput(name, path, output.unit);
  exists = state.fd >= 0;
  target = FollowSymbolicLinks(name);
  leaf = LeafOf(target);
  const std::string directory = DirectoryOf(target);
  if (exists) {
    identity = state.identity;
  } else if (!IdentityOf(directory, identity)) {
    identity = {};
  }
  // Writing an output over the model or over the other output would destroy
  // what the run reads or writes. Two outputs on one device (/dev/null) harm nothing.
  const bool is_model = exists && identity == model;
  const bool is_other = other != nullptr && !state.is_device && exists == other->exists &&
                        identity == other->identity && (exists || leaf == other->leaf);
  if (is_model || is_other) {
    if (exists) ::close(state.fd);
    RaiseDiagnostic(kOpenFailure, output.unit, path);
  }
  if (state.is_device) {
    file.emplace(Adopted(state.fd, output.unit, std::move(path), false));
    return;
  }
  const int fd = CreateTemporary(directory, leaf, registered, temporary);
  if (fd < 0) {
    // No temporary beside it: written in place, as the only way left.
    if (!exists) state = OpenOutputInPlace(name, path, output.unit);
    file.emplace(Adopted(state.fd, output.unit, std::move(path), true));
    return;
  }
  if (exists) {
    // The owner first: changing it may clear permission bits.
    [[maybe_unused]] int ignored = ::fchown(fd, state.owner, state.group);
    ::close(state.fd);
  }
  ::fchmod(fd, exists ? state.mode : NewFileMode());
  file.emplace(Adopted(fd, output.unit, std::move(path), false));
}

bool OutputPair::Slot::Rename() {
  if (temporary.empty()) return true;
  if (::rename(temporary.c_str(), target.c_str()) != 0) return false;
  Forget(registered);
  temporary.clear();
  return true;
}

void OutputPair::Slot::Discard() {
  if (temporary.empty()) return;
  if (file) file->Abandon();
  ::unlink(temporary.c_str());
  Forget(registered);
  temporary.clear();
}

OutputPair::OutputPair(const FileIdentity& model, Output first, Output second) {
  slots_[0].Open(first, model, nullptr);
  slots_[1].Open(second, model, &slots_[0]);
}

void OutputPair::Commit() {
  for (Slot& slot : slots_) slot.file->Close();
  const Slot* failed = nullptr;
  {
    InterruptionsHeld held;
    // Runs at once in one directory put their pairs in place one after the
    // other, never one file of each.
    DirectoryLocks locks(
        slots_[0].temporary.empty() ? std::string() : DirectoryOf(slots_[0].target),
        slots_[1].temporary.empty() ? std::string() : DirectoryOf(slots_[1].target));
    for (Slot& slot : slots_) {
      if (!slot.Rename()) {
        failed = &slot;
        break;
      }
    }
  }
  if (failed != nullptr) RaiseDiagnostic(kWriteError, failed->file->unit(), failed->file->path());
}

void ReplacedOutput::Commit() {
  slot_.file->Close();
  bool renamed = false;
  {
    InterruptionsHeld held;
    DirectoryLocks lock(slot_.temporary.empty() ? std::string() : DirectoryOf(slot_.target),
                        std::string());
    renamed = slot_.Rename();
  }
  if (!renamed) RaiseDiagnostic(kWriteError, slot_.file->unit(), slot_.file->path());
}

void HandleSignalsForOutputs() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  ::sigaction(SIGXFSZ, &ignore, nullptr);

  struct sigaction remove {};
  remove.sa_handler = RemoveTemporariesAndEnd;
  sigemptyset(&remove.sa_mask);
  for (int signal_number : kInterruptions) sigaddset(&remove.sa_mask, signal_number);
  for (int signal_number : kInterruptions) {
    struct sigaction current {};
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      continue;
    ::sigaction(signal_number, &remove, nullptr);
  }
}
