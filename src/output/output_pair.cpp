#include "output/output_pair.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "textio/diagnostics.h"

namespace {

// The temporaries that exist, for a signal handler to remove: fixed storage,
// read without taking a lock or memory.
struct Temporary {
  char path[4096];
  volatile std::sig_atomic_t in_use;
};
Temporary g_temporaries[16];

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

// The host's name as temporaries carry it, at most 64 characters.
const std::string& HostName() {
  static const std::string name = [] {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') {
      return std::string("localhost");
    }
    std::string host(buffer, std::min<std::size_t>(std::strlen(buffer), 64));
    std::replace(host.begin(), host.end(), '/', '_');
    return host;
  }();
  return name;
}

// Where the names of the temporaries for `leaf` begin: a dot and its first
// 160 characters, so that a name stays within the system's 255.
std::string TemporaryPrefix(const std::string& leaf) {
  std::string prefix(1, '.');
  prefix.append(leaf, 0, 160);
  prefix += '.';
  return prefix;
}

// Ends the name of an earlier file set aside while its replacement is put in
// place, on a file system that cannot exchange two files.
constexpr std::string_view kBackupSuffix = ".old";

// Removes from `directory` the temporaries for `leaf` that a run of this
// host left when it was killed: "PID@HOST.XXXXXX" after the prefix, and the
// process PID is gone. A live run's temporaries, and those of another host
// sharing the directory, are left alone.
void RemoveLeftovers(const std::string& directory, const std::string& leaf) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return;
  const std::string prefix = TemporaryPrefix(leaf);
  const std::string host = "@" + HostName() + ".";
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view rest = entry->d_name;
    if (!rest.starts_with(prefix)) continue;
    rest.remove_prefix(prefix.size());
    if (rest.ends_with(kBackupSuffix)) rest.remove_suffix(kBackupSuffix.size());
    if (rest.size() < 6) continue;
    rest.remove_suffix(6);  // the random part
    const std::size_t at = rest.find('@');
    if (at == std::string_view::npos || rest.substr(at) != host) continue;
    std::int64_t pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + at, pid);
    if (error != std::errc() || end != rest.data() + at || pid <= 0 || pid > INT32_MAX ||
        pid == ::getpid()) {
      continue;
    }
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

// Creates an empty temporary for `leaf` in `directory`, known to the signal
// handler; -1 when none can be made there, with the reason in `error`.
int CreateTemporary(const std::string& directory, const std::string& leaf, int& registered,
                    std::string& temporary, int& error) {
  std::string name = directory + "/" + TemporaryPrefix(leaf) + std::to_string(::getpid()) + "@" +
                     HostName() + ".XXXXXX";
  error = ENAMETOOLONG;
  if (name.size() >= sizeof g_temporaries[0].path) return -1;
  InterruptionsHeld held;
  error = EMFILE;  // no room left to register it
  for (int i = 0; i < static_cast<int>(std::size(g_temporaries)); ++i) {
    Temporary& slot = g_temporaries[i];
    if (slot.in_use != 0) continue;
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      error = errno;
      return -1;
    }
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

// Renames `from` to `to` with renameat2's `flags` (0: a plain rename),
// again when a signal interrupted it.
int RenameRetried(const std::string& from, const std::string& to, unsigned flags) {
  int result;
  do {
    result = flags == 0 ? ::rename(from.c_str(), to.c_str())
                        : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
  } while (result != 0 && errno == EINTR);
  return result;
}

void SyncRetried(int fd, bool& failed) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  failed = result != 0;
}

// Outputs are synced to their disk unless CDB2BEM_NO_SYNC=1, for scratch runs.
bool SyncWanted() {
  const char* setting = std::getenv("CDB2BEM_NO_SYNC");
  return setting == nullptr || std::strcmp(setting, "1") != 0;
}

// Exclusive locks on the distinct directories of a commit, one lock each,
// taken in the order of their identities so that two runs never wait for
// each other. A directory whose identity cannot be known is not locked, as
// it may be one locked already. The locks are awaited with the signals free.
class DirectoryLocks {
 public:
  explicit DirectoryLocks(const std::vector<std::string>& directories) {
    std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, int>> known;
    std::vector<std::string> seen;
    for (const std::string& name : directories) {
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat st;
      if (::fstat(fd, &st) != 0) {
        fds_.push_back(fd);  // synced all the same
        continue;
      }
      const FileIdentity identity = IdentityOf(st);
      const auto key = std::pair(identity.device, identity.inode);
      if (std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.first == key; })) {
        ::close(fd);
        continue;
      }
      known.emplace_back(key, fd);
      fds_.push_back(fd);
    }
    std::sort(known.begin(), known.end());
    for (const auto& entry : known) {
      while (::flock(entry.second, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~DirectoryLocks() {
    for (int fd : fds_) ::close(fd);  // releases its lock
  }
  DirectoryLocks(const DirectoryLocks&) = delete;
  DirectoryLocks& operator=(const DirectoryLocks&) = delete;

  // Syncs each directory, so that the renames in it last; a directory that
  // cannot be synced is left as it is.
  void Sync() {
    for (int fd : fds_) {
      bool failed;
      SyncRetried(fd, failed);
    }
  }

 private:
  std::vector<int> fds_;
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

// Whether the directory refuses a new file for want of permission: then, and
// only then, an output is written in place.
bool RefusesNewFiles(int error) { return error == EACCES || error == EPERM || error == EROFS; }

}  // namespace

/// One output while it is written: its file, its temporary, and how far a
/// commit has put it in place.
struct OutputSet::Slot {
  enum class Placed { kNot, kExchanged, kCreated, kBackedUp };

  std::optional<OutputFile> file;
  std::string target;     // the name the file takes when committed
  std::string temporary;  // empty when written directly
  std::string backup;     // the earlier file while it is set aside
  int registered = -1;    // its place among the temporaries a signal removes
  int sync_fd = -1;       // the file once more, to sync it after it is closed
  FileIdentity identity;  // of the file, or of the directory that will hold it
  bool exists = false;
  bool is_device = false;
  bool in_place = false;  // an existing regular file rewritten where it is
  std::string leaf;       // the file's name in that directory
  Placed placed = Placed::kNot;

  Slot() = default;
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  ~Slot() {
    Discard();
    CloseSync();
  }

  void Open(Output output, const FileIdentity& model,
            const std::vector<std::unique_ptr<Slot>>& earlier);
  void Sync();
  void CloseSync() {
    if (sync_fd >= 0) ::close(std::exchange(sync_fd, -1));
  }
  bool Place();     // puts the temporary in place; false when that fails, nothing changed
  bool TakeBack();  // undoes Place; false when that fails
  void Settle();    // once every output is in place: the earlier file removed
  void Discard();   // removes the temporary, if any
  // Whether the run has changed this output, short of a whole commit.
  bool Changed() const {
    return placed != Placed::kNot || (in_place && file && !file->truncation_pending());
  }

 private:
  bool PlaceWithBackup();
};

void OutputSet::Slot::Open(Output output, const FileIdentity& model,
                           const std::vector<std::unique_ptr<Slot>>& earlier) {
  const std::string name(output.name);
  std::string path = AbsolutePath(name);
  OutputFileState state = OpenExistingOutput(name, path, output.unit);
  exists = state.fd >= 0;
  is_device = state.is_device;
  target = FollowSymbolicLinks(name);
  leaf = LeafOf(target);
  const std::string directory = DirectoryOf(target);
  if (exists) {
    identity = state.identity;
  } else if (!IdentityOf(directory, identity)) {
    identity = {};
  }
  // Writing an output over the model or over another output would destroy
  // what the run reads or writes. Two outputs on one device (/dev/null) harm nothing.
  bool refused = exists && identity == model;
  for (const std::unique_ptr<Slot>& other : earlier) {
    refused = refused || (!is_device && exists == other->exists && identity == other->identity &&
                          (exists || leaf == other->leaf));
  }
  if (refused) {
    if (exists) ::close(state.fd);
    RaiseDiagnostic(kOpenFailure, output.unit, path);
  }
  if (is_device) {
    file.emplace(Adopted(state.fd, output.unit, std::move(path), false));
    return;
  }
  RemoveLeftovers(directory, leaf);
  int error = 0;
  int fd = CreateTemporary(directory, leaf, registered, temporary, error);
  if (fd < 0) {
    if (!RefusesNewFiles(error)) {
      // A full file system, no inodes or descriptors left, a missing
      // directory: the earlier file is kept, not cut.
      if (exists) ::close(state.fd);
      RaiseDiagnostic(OpenFailureDiagnostic(error, false), output.unit, path);
    }
    // No temporary may be made beside it: written in place, as the only way left.
    if (!exists) state = OpenOutputInPlace(name, path, output.unit);
    in_place = true;
    fd = state.fd;
  } else if (exists) {
    // The owner first: changing it may clear permission bits.
    [[maybe_unused]] int ignored = ::fchown(fd, state.owner, state.group);
    ::close(state.fd);
  }
  if (!in_place) ::fchmod(fd, exists ? state.mode : NewFileMode());
  sync_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (sync_fd < 0) {
    ::close(fd);
    RaiseDiagnostic(kOpenFailure, output.unit, path);
  }
  file.emplace(Adopted(fd, output.unit, std::move(path), in_place));
  if (SyncWanted()) file->StartWriteBack();
}

void OutputSet::Slot::Sync() {
  if (sync_fd < 0) return;
  bool failed;
  SyncRetried(sync_fd, failed);
  if (failed) RaiseDiagnostic(kWriteError, file->unit(), file->path());
}

bool OutputSet::Slot::Place() {
  if (temporary.empty()) return true;
  // Exchanged with the earlier file where there is one, so that it can be
  // exchanged back; created where there is none (either may have changed
  // since the output was opened).
  bool exchange = exists;
  for (int attempt = 0; attempt < 2; ++attempt, exchange = !exchange) {
    if (RenameRetried(temporary, target, exchange ? RENAME_EXCHANGE : RENAME_NOREPLACE) == 0) {
      placed = exchange ? Placed::kExchanged : Placed::kCreated;
      return true;
    }
    if (errno == EINVAL || errno == ENOSYS) return PlaceWithBackup();
    if (errno != (exchange ? ENOENT : EEXIST)) return false;
  }
  return false;
}

bool OutputSet::Slot::PlaceWithBackup() {
  // A file system that cannot exchange: the earlier file is set aside under
  // a name of the run's own, then the new one renamed over its place.
  backup = temporary + std::string(kBackupSuffix);
  if (RenameRetried(target, backup, 0) != 0) {
    if (errno != ENOENT) return false;
    backup.clear();
  }
  if (RenameRetried(temporary, target, 0) != 0) {
    if (!backup.empty()) RenameRetried(backup, target, 0);
    backup.clear();
    return false;
  }
  placed = backup.empty() ? Placed::kCreated : Placed::kBackedUp;
  return true;
}

bool OutputSet::Slot::TakeBack() {
  bool undone = true;
  switch (placed) {
    case Placed::kNot:
      return true;
    case Placed::kExchanged:
      undone = RenameRetried(temporary, target, RENAME_EXCHANGE) == 0;
      break;
    case Placed::kCreated:
      undone = RenameRetried(target, temporary, 0) == 0;
      break;
    case Placed::kBackedUp:
      undone = RenameRetried(target, temporary, 0) == 0 && RenameRetried(backup, target, 0) == 0;
      break;
  }
  if (undone) {
    placed = Placed::kNot;
    backup.clear();
  }
  return undone;
}

void OutputSet::Slot::Settle() {
  if (placed == Placed::kExchanged) ::unlink(temporary.c_str());  // the earlier file
  if (placed == Placed::kBackedUp) ::unlink(backup.c_str());
  Forget(registered);
  temporary.clear();
  backup.clear();
}

void OutputSet::Slot::Discard() {
  if (temporary.empty()) return;
  if (file) file->Abandon();
  // An output that could not be taken back holds the earlier file at the
  // temporary's name: kept, as the only copy of it.
  if (placed == Placed::kNot) ::unlink(temporary.c_str());
  Forget(registered);
  temporary.clear();
}

OutputSet::OutputSet(const FileIdentity& model, std::initializer_list<Output> outputs)
    : model_(model) {
  for (const Output& output : outputs) Add(output);
}

OutputSet::~OutputSet() {
  if (committed_) return;
  std::string changed;
  for (const std::unique_ptr<Slot>& slot : slots_) {
    if (!slot->Changed()) continue;
    if (!changed.empty()) changed += ", ";
    changed += slot->file->path();
  }
  files_.clear();
  slots_.clear();  // the temporaries removed
  if (changed.empty()) return;
  try {
    PrintWarning(OutputsMixed(changed));
  } catch (...) {
    // No memory for the warning: the diagnostic before it stands alone.
  }
}

OutputFile& OutputSet::Add(Output output) {
  auto slot = std::make_unique<Slot>();
  slot->Open(output, model_, slots_);
  files_.reserve(files_.size() + 1);
  slots_.push_back(std::move(slot));
  files_.push_back(&*slots_.back()->file);
  return *files_.back();
}

void OutputSet::Commit() {
  for (const std::unique_ptr<Slot>& slot : slots_) slot->file->Close();
  const bool sync = SyncWanted();
  for (const std::unique_ptr<Slot>& slot : slots_) {
    if (sync) slot->Sync();
    slot->CloseSync();
  }
  std::vector<std::string> directories;
  for (const std::unique_ptr<Slot>& slot : slots_) {
    if (!slot->temporary.empty()) directories.push_back(DirectoryOf(slot->target));
  }
  // Runs at once in one directory put their outputs in place one after the
  // other, never some files of each.
  DirectoryLocks locks(directories);
  const Slot* failed = nullptr;
  {
    InterruptionsHeld held;
    std::size_t placed = 0;
    for (; placed < slots_.size(); ++placed) {
      if (!slots_[placed]->Place()) {
        failed = slots_[placed].get();
        break;
      }
    }
    if (failed != nullptr) {
      while (placed-- > 0) slots_[placed]->TakeBack();
    } else {
      for (const std::unique_ptr<Slot>& slot : slots_) slot->Settle();
    }
  }
  if (failed != nullptr) RaiseDiagnostic(kWriteError, failed->file->unit(), failed->file->path());
  committed_ = true;
  if (sync) locks.Sync();
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
