// The journal of a replacement of outputs: what a run is about to rename,
// so that a later run completes or undoes a replacement that its run could
// not finish (killed, or refused the renames that would take it back).
#pragma once

#include <string>
#include <vector>

#include "system/files.h"
#include "system/replacing.h"

/// The host's name as temporaries and journals carry it ("PID@HOST"), at
/// most 64 characters.
const std::string& HostName();

/// One output of a replacement. Until it is put in place its new file is at
/// `temporary`; once it is, the earlier file is there (exchanged), or at
/// `backup` (set aside on a file system that cannot exchange), or there was
/// none.
struct JournalEntry {
  std::string target;
  std::string temporary;
  std::string backup;
  FileIdentity fresh;    // the new file; for a removal, the file removed
  bool removal = false;  // the output is removed: set aside at `temporary`
};

/// The journals of one replacement, one in each directory it renames in,
/// each naming every file of the replacement and the other journals.
class ReplacementJournal {
 public:
  ReplacementJournal() = default;
  ~ReplacementJournal() = default;
  ReplacementJournal(const ReplacementJournal&) = delete;
  ReplacementJournal& operator=(const ReplacementJournal&) = delete;

  /// Writes the journals (synced to the disk when `sync`); false when one
  /// cannot be, with the reason in errno, and none is left.
  bool Write(const std::vector<std::string>& directories, const std::vector<JournalEntry>& entries,
             bool sync);
  /// Removes the journals: the replacement is whole.
  void Remove();

 private:
  std::vector<std::string> names_;
};

/// Completes or undoes each replacement whose journal `entries` of
/// `directory` shows, left by a run of this host that is gone: forward when
/// every new file is in place or at its temporary, back otherwise, so that
/// the outputs are again one run's. Adds to `kept` the files of a
/// replacement that could be neither (the file system refuses the renames):
/// they hold the only copies of some outputs, and its journal stays.
void RecoverReplacements(const std::string& directory, const std::vector<std::string>& entries,
                         std::vector<std::string>& kept);

/// `directory` as messages show it: absolute, without a last "." or separator.
std::string ShownDirectory(const std::string& directory);

/// Takes the lock of `directory` open in `lock`; a wait of more than about
/// a second is told once on standard error, with the holder when known.
DirectoryLock::Outcome LockDirectory(DirectoryLock& lock, const std::string& directory);
