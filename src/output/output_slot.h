// One output of an output set while it is written and put in place.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/replacement_journal.h"
#include "textio/file_opening.h"
#include "textio/output_file.h"

/// Whether outputs are synced to their disk: unless the environment holds
/// CDB2BEM_NO_SYNC=1, for scratch runs.
bool SyncWanted();

/// An output (its file, its temporary, how far a commit has put it in
/// place), or an earlier file that the set removes.
class OutputSlot {
 public:
  enum class Placed {
    kNot,
    kExchanged,  // the earlier file at the temporary's name
    kCreated,    // there was none
    kBackedUp,   // the earlier file at the backup's name
    kSetAside,   // the earlier file at the backup's name, the output's name free
    kRemoved,    // a removed file at the temporary's name
  };

  OutputSlot() = default;
  OutputSlot(const OutputSlot&) = delete;
  OutputSlot& operator=(const OutputSlot&) = delete;
  ~OutputSlot();

  /// Opens the output `name` for unit `unit`: raises the open failure for
  /// the model or an output opened before (`earlier`), the diagnostic of an
  /// output that cannot be opened or beside which no temporary can be made.
  void Open(std::string_view name, int unit, const FileIdentity& model,
            const std::vector<std::unique_ptr<OutputSlot>>& earlier);
  /// Makes this slot the removal of the regular file `name`, when there is
  /// one that is not the model or an output of `earlier`; false otherwise.
  bool OpenRemoval(const std::string& name, int unit, const FileIdentity& model,
                   const std::vector<std::unique_ptr<OutputSlot>>& earlier);

  /// Closes the file; a failed write raises its diagnostic.
  void Close();
  /// Syncs the closed file to its disk, raising the write diagnostic when
  /// that fails (when `sync`), and notes the new file's identity.
  void Finish(bool sync);
  /// Whether the commit renames in `directory()`, and what it renames there.
  bool Renamed() const { return !temporary_.empty(); }
  std::string directory() const { return DirectoryOf(target_); }
  JournalEntry Entry() const;

  bool Place();     // puts the temporary in place; false when that fails
  bool TakeBack();  // undoes Place; false when that fails
  void Settle();    // once every output is in place: the earlier file removed
  /// The commit could neither finish nor be undone: every file stays, and
  /// interruptions no longer remove the temporary. Where the files are.
  std::string Keep();
  // Whether the run has changed this output, short of a whole commit.
  bool Changed() const;

  OutputFile* file() { return file_ ? &*file_ : nullptr; }
  int unit() const { return unit_; }
  const std::string& path() const { return path_; }
  const FilePlace& place() const { return place_; }
  bool is_device() const { return is_device_; }

 private:
  bool PlaceWithBackup();
  void Discard();  // removes the temporary, if any
  void MakeTemporary(const std::string& name, bool exists, OutputFileState& state);

  std::optional<OutputFile> file_;
  int unit_ = 0;
  std::string path_;       // the absolute name the diagnostics show
  std::string target_;     // the name the file takes when committed
  std::string temporary_;  // empty when written directly
  std::string backup_;     // where the earlier file is set aside when it cannot be exchanged
  FileIdentity fresh_;     // the new file, or the file removed
  int registered_ = -1;    // its place among the temporaries a signal removes
  int sync_fd_ = -1;       // the file once more, to sync it after it is closed
  FilePlace place_;        // the file, or the directory that will hold it
  bool exists_ = false;
  bool is_device_ = false;
  bool in_place_ = false;  // an existing regular file rewritten where it is
  bool removal_ = false;
  bool kept_ = false;
  Placed placed_ = Placed::kNot;
};
