#include "output/output_set.h"

#include <algorithm>
#include <string>
#include <utility>

#include "output/output_slot.h"
#include "system/interruptions.h"
#include "textio/diagnostics.h"

// A directory of the outputs, locked or not.
struct LockedDirectory {
  DirectoryLock lock;
  std::string name;
  bool to_lock = false;
};

namespace {

// Opens the distinct directories of a commit, in the order in which they are
// to be locked: one lock each, taken in the order of their identities so
// that two runs never wait for each other. A directory whose identity
// cannot be known is not locked, as it may be one locked already, but
// synced all the same.
std::vector<LockedDirectory> OpenDirectories(const std::vector<std::string>& directories) {
  std::vector<std::pair<std::pair<std::uint64_t, std::uint64_t>, std::size_t>> known;
  std::vector<LockedDirectory> identified;
  std::vector<LockedDirectory> opened;
  std::vector<std::string> seen;
  for (const std::string& name : directories) {
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
    seen.push_back(name);
    DirectoryLock lock(name);
    if (!lock.opened()) continue;
    FileIdentity identity;
    if (!lock.Identify(identity)) {
      opened.push_back({std::move(lock), name, false});
      continue;
    }
    const auto key = std::pair(identity.device, identity.inode);
    if (std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.first == key; })) {
      continue;
    }
    known.emplace_back(key, identified.size());
    identified.push_back({std::move(lock), name, true});
  }
  std::sort(known.begin(), known.end());
  for (const auto& entry : known) opened.push_back(std::move(identified[entry.second]));
  return opened;
}

}  // namespace

OutputSet::OutputSet(const FileIdentity& model, std::initializer_list<Output> outputs)
    : model_(model) {
  for (const Output& output : outputs) Add(output);
}

OutputSet::~OutputSet() {
  if (committed_) return;
  std::string changed;
  for (const std::unique_ptr<OutputSlot>& slot : slots_) {
    if (!left_mixed_.empty() || !slot->Changed()) continue;
    if (!changed.empty()) changed += ", ";
    changed += slot->path();
  }
  files_.clear();
  slots_.clear();  // the temporaries removed
  if (changed.empty() && left_mixed_.empty()) return;
  try {
    PrintWarning(left_mixed_.empty() ? OutputsMixed(changed) : OutputsLeftMixed(left_mixed_));
  } catch (...) {
    // No memory for the warning: the diagnostic before it stands alone.
  }
}

OutputFile& OutputSet::Add(Output output) {
  auto slot = std::make_unique<OutputSlot>();
  slot->Open(output.name, output.unit, model_, slots_);
  files_.reserve(files_.size() + 1);
  slots_.reserve(slots_.size() + 1);
  files_.push_back(slot->file());
  slots_.push_back(std::move(slot));
  return *files_.back();
}

void OutputSet::Remove(Output output) {
  auto slot = std::make_unique<OutputSlot>();
  if (slot->OpenRemoval(std::string(output.name), output.unit, model_, slots_)) {
    slots_.push_back(std::move(slot));
  }
}

// The first output that the commit renames in `directory`.
const OutputSlot* OutputSet::FirstIn(const std::string& directory) const {
  for (const std::unique_ptr<OutputSlot>& slot : slots_) {
    if (slot->Renamed() && slot->directory() == directory) return slot.get();
  }
  return slots_.front().get();
}

void OutputSet::Commit() {
  for (const std::unique_ptr<OutputSlot>& slot : slots_) slot->Close();
  const bool sync = SyncWanted();
  for (const std::unique_ptr<OutputSlot>& slot : slots_) slot->Finish(sync);
  std::vector<std::string> directories;
  for (const std::unique_ptr<OutputSlot>& slot : slots_) {
    if (slot->Renamed()) directories.push_back(slot->directory());
  }
  // Runs at once in one directory put their outputs in place one after the
  // other, never some files of each. The locks are awaited with the signals
  // free; a directory that cannot be locked fails the run before any rename.
  std::vector<LockedDirectory> locks = OpenDirectories(directories);
  for (LockedDirectory& directory : locks) {
    if (!directory.to_lock) continue;
    switch (LockDirectory(directory.lock, directory.name)) {
      case DirectoryLock::Outcome::kLocked:
        break;
      case DirectoryLock::Outcome::kUnsupported:
        PrintWarning(LocksUnsupported(ShownDirectory(directory.name)));
        break;
      case DirectoryLock::Outcome::kFailed:
        RaiseDiagnostic(kWriteError, FirstIn(directory.name)->unit(),
                        FirstIn(directory.name)->path());
    }
  }
  const OutputSlot* failed = PutInPlace(locks, sync);
  if (failed != nullptr) RaiseDiagnostic(kWriteError, failed->unit(), failed->path());
  committed_ = true;
}

const OutputSlot* OutputSet::PutInPlace(std::vector<LockedDirectory>& locks, bool sync) {
  InterruptionsHeld held;
  // The journal first, so that a run killed among the renames is completed
  // or undone by the next.
  std::vector<JournalEntry> entries;
  for (const std::unique_ptr<OutputSlot>& slot : slots_) {
    if (slot->Renamed()) entries.push_back(slot->Entry());
  }
  if (entries.empty()) return nullptr;
  std::vector<std::string> directories;
  for (const LockedDirectory& directory : locks) directories.push_back(directory.name);
  ReplacementJournal journal;
  if (!journal.Write(directories, entries, sync)) return FirstIn(directories.front());
  const OutputSlot* failed = nullptr;
  std::size_t placed = 0;
  for (; placed < slots_.size() && failed == nullptr; ++placed) {
    if (!slots_[placed]->Place()) failed = slots_[placed].get();
  }
  // The directories synced, so that the renames last; one that cannot be
  // fails the run as a failed rename does.
  for (std::size_t i = 0; i < locks.size() && failed == nullptr && sync; ++i) {
    if (!locks[i].lock.Sync()) failed = FirstIn(locks[i].name);
  }
  if (failed == nullptr) {
    for (const std::unique_ptr<OutputSlot>& slot : slots_) slot->Settle();
    journal.Remove();
    return nullptr;
  }
  bool undone = true;
  while (placed-- > 0) undone = slots_[placed]->TakeBack() && undone;
  if (undone) {
    journal.Remove();
    return failed;
  }
  // Neither the new set nor the earlier one: every file stays, with the
  // journal, for the next run to put one set back together.
  for (const std::unique_ptr<OutputSlot>& slot : slots_) {
    const std::string where = slot->Keep();
    if (where.empty()) continue;
    if (!left_mixed_.empty()) left_mixed_ += "; ";
    left_mixed_ += where;
  }
  return failed;
}
