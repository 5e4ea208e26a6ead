// The output files of a run, put in place together or not at all.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "system/replacing.h"
#include "textio/output_file.h"

class OutputSlot;
struct LockedDirectory;

/// Owns the outputs of a run (input.dat, input.plt, a .vtu, ...) while they
/// are written. Each is written to a hidden temporary file in the directory
/// that will hold it (for a symbolic link, the directory of its target),
/// named with the process id and the host, ".input.dat.PID@HOST.XXXXXX".
/// Commit() puts all of them in place once all are complete, or none: an
/// earlier file is exchanged with its temporary, and when one output cannot
/// be put in place the ones before it are exchanged back. Until then the
/// earlier files stay as they were, and the destructor removes the
/// temporaries, so a failed run leaves the outputs as it found them (absent
/// where there were none).
///
/// Before its first rename a commit writes a journal beside the outputs
/// (synced), naming every file it renames, and removes it once the set is
/// whole. A later run that opens an output in that directory completes the
/// replacement of a run of this host that died (every new file in place or
/// at its temporary, some in place) or undoes it, before it removes that
/// run's leftover temporaries. A commit that can neither finish nor undo
/// its renames keeps every file and its journal, and warns where each is.
///
/// Character devices such as /dev/null are written directly. An output
/// whose directory may not take a new file (no permission, a read-only file
/// system) is written in place; when the run then fails after rewriting it,
/// a warning says that the outputs are mixed.
class OutputSet {
 public:
  struct Output {
    std::string_view name;
    int unit;
  };

  /// Opens the outputs in order, as Add does.
  OutputSet(const FileIdentity& model, std::initializer_list<Output> outputs);
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  /// Opens one more output, before anything is written. Raises the open
  /// failure for an output that is the model or an output opened before,
  /// the diagnostic of an output that cannot be opened or beside which no
  /// temporary can be made (a missing directory, a full file system).
  OutputFile& Add(Output output);

  /// Makes the removal of the regular file `name` (not a link, the model or
  /// an output) part of the set: it is removed when the set is put in place.
  void Remove(Output output);

  /// The file of the output opened `index`-th, from 0.
  OutputFile& file(std::size_t index) { return *files_[index]; }

  /// Closes every file (a failed write raises its diagnostic), syncs each
  /// to its disk unless the environment holds CDB2BEM_NO_SYNC=1, and puts
  /// all in place, then syncs their directories; or raises the write
  /// diagnostic of the first that cannot be and leaves the earlier files.
  /// A directory that cannot be locked raises the write diagnostic of its
  /// first output before any rename, unless its file system keeps no locks:
  /// then a warning says so and the commit goes on.
  void Commit();

 private:
  const OutputSlot* FirstIn(const std::string& directory) const;
  const OutputSlot* PutInPlace(std::vector<LockedDirectory>& locks, bool sync);

  const FileIdentity model_;
  std::vector<std::unique_ptr<OutputSlot>> slots_;
  std::vector<OutputFile*> files_;
  std::string left_mixed_;  // where each file is, after a commit neither done nor undone
  bool committed_ = false;
};
