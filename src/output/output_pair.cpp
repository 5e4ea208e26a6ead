#include "output/output_pair.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "system/interruptions.h"
#include "system/process.h"
#include "system/replacing.h"
#include "textio/diagnostics.h"

namespace {

// The host's name as temporaries carry it, at most 64 characters.
const std::string& HostName() {
  static const std::string name = [] {
    std::string host = ComputerName();
    if (host.empty()) return std::string("localhost");
    host.resize(std::min<std::size_t>(host.size(), 64));
    std::replace_if(host.begin(), host.end(), IsPathSeparator, '_');
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
  const std::string prefix = TemporaryPrefix(leaf);
  const std::string host = "@" + HostName() + ".";
  for (const std::string& entry : DirectoryEntries(directory)) {
    std::string_view rest = entry;
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
        pid == CurrentProcessId()) {
      continue;
    }
    if (!ProcessIsGone(pid)) continue;  // alive
    RemoveFile(JoinPath(directory, entry));
  }
}

// Creates an empty temporary for `leaf` in `directory`, known to the signal
// handler; -1 when none can be made there, with the reason in `error`.
int CreateTemporary(const std::string& directory, const std::string& leaf, int& registered,
                    std::string& temporary, int& error) {
  std::string name =
      JoinPath(directory, TemporaryPrefix(leaf) + std::to_string(CurrentProcessId()) + "@" +
                              HostName() + ".XXXXXX");
  error = ENAMETOOLONG;
  if (name.size() > kLongestTemporaryName) return -1;
  InterruptionsHeld held;
  const int fd = CreateUniqueFile(name);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  registered = RegisterTemporary(name);
  if (registered < 0) {
    error = EMFILE;  // no room left to register it
    CloseDescriptor(fd);
    RemoveFile(name);
    return -1;
  }
  temporary = std::move(name);
  return fd;
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
    std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::size_t>> known;
    std::vector<std::string> seen;
    for (const std::string& name : directories) {
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      DirectoryLock lock(name);
      if (!lock.opened()) continue;
      FileIdentity identity;
      if (!lock.Identify(identity)) {
        locks_.push_back(std::move(lock));  // synced all the same
        continue;
      }
      const auto key = std::pair(identity.device, identity.inode);
      if (std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.first == key; })) {
        continue;
      }
      known.emplace_back(key, locks_.size());
      locks_.push_back(std::move(lock));
    }
    std::sort(known.begin(), known.end());
    for (const auto& entry : known) locks_[entry.second].Lock();
  }
  DirectoryLocks(const DirectoryLocks&) = delete;
  DirectoryLocks& operator=(const DirectoryLocks&) = delete;

  // Syncs each directory, so that the renames in it last; a directory that
  // cannot be synced is left as it is.
  void Sync() {
    for (DirectoryLock& lock : locks_) lock.Sync();
  }

 private:
  std::vector<DirectoryLock> locks_;  // each released when it is destroyed
};

// The file written through `fd`; the descriptor is closed again when no
// buffer can be had for it.
OutputFile Adopted(int fd, int unit, std::string path, bool truncate_on_first_write) {
  try {
    return OutputFile::Adopt(fd, unit, std::move(path), truncate_on_first_write);
  } catch (...) {
    CloseDescriptor(fd);
    throw;
  }
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
  FilePlace place;        // the file, or the directory that will hold it
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
    if (sync_fd >= 0) CloseDescriptor(std::exchange(sync_fd, -1));
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
  place = PlaceOf(name);
  if (exists) {
    place.identity = state.identity;  // of the file opened
    place.exists = place.known = true;
  }
  // Writing an output over the model or over another output would destroy
  // what the run reads or writes. Two outputs on one device (/dev/null) harm nothing.
  bool refused = exists && place.identity == model;
  for (const std::unique_ptr<Slot>& other : earlier) {
    refused = refused || (!is_device && place == other->place);
  }
  if (refused) {
    if (exists) CloseDescriptor(state.fd);
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
      if (exists) CloseDescriptor(state.fd);
      RaiseDiagnostic(OpenFailureDiagnostic(error, false), output.unit, path);
    }
    // No temporary may be made beside it: written in place, as the only way left.
    if (!exists) state = OpenOutputInPlace(name, path, output.unit);
    in_place = true;
    fd = state.fd;
  } else if (exists) {
    // The owner first: changing it may clear permission bits.
    ChangeOwner(fd, state.owner, state.group);
    CloseDescriptor(state.fd);
  }
  if (!in_place) ChangeMode(fd, exists ? state.mode : NewFileMode());
  sync_fd = DuplicateDescriptor(fd);
  if (sync_fd < 0) {
    CloseDescriptor(fd);
    RaiseDiagnostic(kOpenFailure, output.unit, path);
  }
  file.emplace(Adopted(fd, output.unit, std::move(path), in_place));
  if (SyncWanted()) file->StartWriteBack();
}

void OutputSet::Slot::Sync() {
  if (sync_fd < 0) return;
  if (!SyncDescriptor(sync_fd)) RaiseDiagnostic(kWriteError, file->unit(), file->path());
}

bool OutputSet::Slot::Place() {
  if (temporary.empty()) return true;
  // Exchanged with the earlier file where there is one, so that it can be
  // exchanged back; created where there is none (either may have changed
  // since the output was opened).
  bool exchange = exists;
  for (int attempt = 0; attempt < 2; ++attempt, exchange = !exchange) {
    if (RenameFile(temporary, target, exchange ? RenameMode::kExchange : RenameMode::kNoReplace)) {
      placed = exchange ? Placed::kExchanged : Placed::kCreated;
      return true;
    }
    if (errno == EINVAL) return PlaceWithBackup();
    if (errno != (exchange ? ENOENT : EEXIST)) return false;
  }
  return false;
}

bool OutputSet::Slot::PlaceWithBackup() {
  // A file system that cannot exchange: the earlier file is set aside under
  // a name of the run's own, then the new one renamed over its place.
  backup = temporary + std::string(kBackupSuffix);
  if (!RenameFile(target, backup, RenameMode::kReplace)) {
    if (errno != ENOENT) return false;
    backup.clear();
  }
  if (!RenameFile(temporary, target, RenameMode::kReplace)) {
    if (!backup.empty()) RenameFile(backup, target, RenameMode::kReplace);
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
      undone = RenameFile(temporary, target, RenameMode::kExchange);
      break;
    case Placed::kCreated:
      undone = RenameFile(target, temporary, RenameMode::kReplace);
      break;
    case Placed::kBackedUp:
      undone = RenameFile(target, temporary, RenameMode::kReplace) &&
               RenameFile(backup, target, RenameMode::kReplace);
      break;
  }
  if (undone) {
    placed = Placed::kNot;
    backup.clear();
  }
  return undone;
}

void OutputSet::Slot::Settle() {
  if (placed == Placed::kExchanged) RemoveFile(temporary);  // the earlier file
  if (placed == Placed::kBackedUp) RemoveFile(backup);
  ForgetTemporary(registered);
  temporary.clear();
  backup.clear();
}

void OutputSet::Slot::Discard() {
  if (temporary.empty()) return;
  if (file) file->Abandon();
  // An output that could not be taken back holds the earlier file at the
  // temporary's name: kept, as the only copy of it.
  if (placed == Placed::kNot) RemoveFile(temporary);
  ForgetTemporary(registered);
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
