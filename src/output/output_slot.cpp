#include "output/output_slot.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "system/interruptions.h"
#include "system/process.h"
#include "system/replacing.h"
#include "textio/diagnostics.h"

namespace {

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

// Removes from `directory` (whose names are `entries`) the temporaries for
// `leaf` that a run of this host left when it was killed: "PID@HOST.XXXXXX"
// after the prefix, and the process PID is gone. A live run's temporaries,
// another host's and those `kept` (the only copy of an output) are left.
void RemoveLeftovers(const std::string& directory, const std::string& leaf,
                     const std::vector<std::string>& entries,
                     const std::vector<std::string>& kept) {
  const std::string prefix = TemporaryPrefix(leaf);
  const std::string host = "@" + HostName() + ".";
  for (const std::string& entry : entries) {
    std::string_view rest = entry;
    if (!rest.starts_with(prefix)) continue;
    if (std::any_of(kept.begin(), kept.end(),
                    [&](const std::string& k) { return LeafOf(k) == entry; })) {
      continue;
    }
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

// Completes or undoes what dead runs left in `directory`, then removes their
// leftovers for `leaf`.
void TidyDirectory(const std::string& directory, const std::string& leaf) {
  const std::vector<std::string> entries = DirectoryEntries(directory);
  std::vector<std::string> kept;
  RecoverReplacements(directory, entries, kept);
  RemoveLeftovers(directory, leaf, entries, kept);
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

bool SyncWanted() {
  const char* setting = std::getenv("CDB2BEM_NO_SYNC");
  return setting == nullptr || std::strcmp(setting, "1") != 0;
}

OutputSlot::~OutputSlot() {
  Discard();
  if (sync_fd_ >= 0) CloseDescriptor(std::exchange(sync_fd_, -1));
}

void OutputSlot::Open(std::string_view output, int unit, const FileIdentity& model,
                      const std::vector<std::unique_ptr<OutputSlot>>& earlier) {
  const std::string name(output);
  unit_ = unit;
  path_ = AbsolutePath(name);
  OutputFileState state = OpenExistingOutput(name, path_, unit);
  exists_ = state.fd >= 0;
  is_device_ = state.is_device;
  target_ = FollowSymbolicLinks(name);
  place_ = PlaceOf(name);
  if (exists_) {
    place_.identity = state.identity;  // of the file opened
    place_.exists = place_.known = true;
  }
  // Writing an output over the model or over another output would destroy
  // what the run reads or writes. Two outputs on one device (/dev/null) harm nothing.
  bool refused = exists_ && place_.identity == model;
  for (const std::unique_ptr<OutputSlot>& other : earlier) {
    refused = refused || (!is_device_ && place_ == other->place_);
  }
  if (refused) {
    if (exists_) CloseDescriptor(state.fd);
    RaiseDiagnostic(kOpenFailure, unit, path_);
  }
  if (is_device_) {
    file_.emplace(Adopted(state.fd, unit, path_, false));
    return;
  }
  TidyDirectory(DirectoryOf(target_), LeafOf(target_));
  MakeTemporary(name, exists_, state);
}

void OutputSlot::MakeTemporary(const std::string& name, bool exists, OutputFileState& state) {
  int error = 0;
  int fd = CreateTemporary(DirectoryOf(target_), LeafOf(target_), registered_, temporary_, error);
  if (fd < 0) {
    if (!RefusesNewFiles(error)) {
      // A full file system, no inodes or descriptors left, a missing
      // directory: the earlier file is kept, not cut.
      if (exists) CloseDescriptor(state.fd);
      RaiseDiagnostic(OpenFailureDiagnostic(error, false), unit_, path_);
    }
    // No temporary may be made beside it: written in place, as the only way left.
    if (!exists) state = OpenOutputInPlace(name, path_, unit_);
    in_place_ = true;
    fd = state.fd;
  } else if (exists) {
    // The owner first: changing it may clear permission bits.
    ChangeOwner(fd, state.owner, state.group);
    CloseDescriptor(state.fd);
  }
  if (!in_place_) ChangeMode(fd, exists ? state.mode : NewFileMode());
  sync_fd_ = DuplicateDescriptor(fd);
  if (sync_fd_ < 0) {
    CloseDescriptor(fd);
    RaiseDiagnostic(kOpenFailure, unit_, path_);
  }
  file_.emplace(Adopted(fd, unit_, path_, in_place_));
  if (SyncWanted()) file_->StartWriteBack();
}

bool OutputSlot::OpenRemoval(const std::string& name, int unit, const FileIdentity& model,
                             const std::vector<std::unique_ptr<OutputSlot>>& earlier) {
  std::string link;
  FileStatus status;
  if (ReadSymbolicLink(name, link) || !StatusOf(name, status) ||
      status.kind != FileKind::kRegular || status.identity == model) {
    return false;
  }
  place_ = PlaceOf(name);
  for (const std::unique_ptr<OutputSlot>& other : earlier) {
    if (place_ == other->place_) return false;
  }
  unit_ = unit;
  path_ = AbsolutePath(name);
  target_ = name;
  fresh_ = status.identity;
  removal_ = true;
  TidyDirectory(DirectoryOf(target_), LeafOf(target_));
  // A name of the run's own, to set the file aside under until the set is
  // whole. Where none can be made (a directory that takes no new file), the
  // file cannot be removed either, and stays.
  int error = 0;
  const int fd =
      CreateTemporary(DirectoryOf(target_), LeafOf(target_), registered_, temporary_, error);
  if (fd < 0) return false;
  CloseDescriptor(fd);
  return true;
}

void OutputSlot::Close() {
  if (file_) file_->Close();
}

void OutputSlot::Finish(bool sync) {
  if (sync_fd_ < 0) return;
  FileStatus status;
  if ((sync && !SyncDescriptor(sync_fd_)) || !StatusOf(sync_fd_, status)) {
    RaiseDiagnostic(kWriteError, unit_, path_);
  }
  fresh_ = status.identity;
  CloseDescriptor(std::exchange(sync_fd_, -1));
}

JournalEntry OutputSlot::Entry() const {
  // Absolute, for a later run in another working directory.
  JournalEntry entry;
  entry.target = AbsolutePath(target_);
  entry.temporary = AbsolutePath(temporary_);
  if (!removal_) entry.backup = entry.temporary + std::string(kBackupSuffix);
  entry.fresh = fresh_;
  entry.removal = removal_;
  return entry;
}

bool OutputSlot::Place() {
  if (temporary_.empty()) return true;
  if (removal_) {
    if (RenameFile(target_, temporary_, RenameMode::kReplace)) {
      placed_ = Placed::kRemoved;
      return true;
    }
    return errno == ENOENT;  // gone already
  }
  // Exchanged with the earlier file where there is one, so that it can be
  // exchanged back; created where there is none (either may have changed
  // since the output was opened).
  bool exchange = exists_;
  for (int attempt = 0; attempt < 2; ++attempt, exchange = !exchange) {
    if (RenameFile(temporary_, target_,
                   exchange ? RenameMode::kExchange : RenameMode::kNoReplace)) {
      placed_ = exchange ? Placed::kExchanged : Placed::kCreated;
      return true;
    }
    if (errno == EINVAL) return PlaceWithBackup();
    if (errno != (exchange ? ENOENT : EEXIST)) return false;
  }
  return false;
}

bool OutputSlot::PlaceWithBackup() {
  // A file system that cannot exchange: the earlier file is set aside under
  // a name of the run's own, then the new one renamed over its place.
  backup_ = temporary_ + std::string(kBackupSuffix);
  if (!RenameFile(target_, backup_, RenameMode::kReplace)) {
    if (errno != ENOENT) return false;
    backup_.clear();
  }
  if (!RenameFile(temporary_, target_, RenameMode::kReplace)) {
    const int error = errno;
    if (!backup_.empty() && !RenameFile(backup_, target_, RenameMode::kReplace)) {
      placed_ = Placed::kSetAside;  // the earlier file only at the backup's name
    } else {
      backup_.clear();
    }
    errno = error;
    return false;
  }
  placed_ = backup_.empty() ? Placed::kCreated : Placed::kBackedUp;
  return true;
}

bool OutputSlot::TakeBack() {
  bool undone = true;
  switch (placed_) {
    case Placed::kNot:
      return true;
    case Placed::kExchanged:
      undone = RenameFile(temporary_, target_, RenameMode::kExchange);
      break;
    case Placed::kCreated:
      undone = RenameFile(target_, temporary_, RenameMode::kReplace);
      break;
    case Placed::kBackedUp:
      undone = RenameFile(target_, temporary_, RenameMode::kReplace) &&
               RenameFile(backup_, target_, RenameMode::kReplace);
      break;
    case Placed::kSetAside:
      undone = RenameFile(backup_, target_, RenameMode::kReplace);
      break;
    case Placed::kRemoved:
      undone = RenameFile(temporary_, target_, RenameMode::kReplace);
      break;
  }
  if (undone) {
    placed_ = Placed::kNot;
    backup_.clear();
  }
  return undone;
}

void OutputSlot::Settle() {
  if (placed_ == Placed::kExchanged || placed_ == Placed::kRemoved) RemoveFile(temporary_);
  if (placed_ == Placed::kBackedUp) RemoveFile(backup_);
  ForgetTemporary(registered_);
  temporary_.clear();
  backup_.clear();
}

std::string OutputSlot::Keep() {
  if (temporary_.empty()) return Changed() ? target_ + " rewritten in place" : std::string();
  kept_ = true;
  ForgetTemporary(registered_);
  switch (placed_) {
    case Placed::kNot:
      return removal_ ? std::string() : target_ + " as it was, the new one " + temporary_;
    case Placed::kExchanged:
      return target_ + " new, the earlier one " + temporary_;
    case Placed::kCreated:
      return target_ + " new";
    case Placed::kBackedUp:
      return target_ + " new, the earlier one " + backup_;
    case Placed::kSetAside:
      return target_ + " missing, the earlier one " + backup_ + ", the new one " + temporary_;
    case Placed::kRemoved:
      return target_ + " removed, kept as " + temporary_;
  }
  return std::string();
}

bool OutputSlot::Changed() const {
  return (placed_ != Placed::kNot && !removal_) ||
         (in_place_ && file_ && !file_->truncation_pending());
}

void OutputSlot::Discard() {
  if (temporary_.empty() || kept_) return;
  if (file_) file_->Abandon();
  // An output that could not be taken back holds the earlier file at the
  // temporary's name: kept, as the only copy of it.
  if (placed_ == Placed::kNot) RemoveFile(temporary_);
  ForgetTemporary(registered_);
  temporary_.clear();
}
