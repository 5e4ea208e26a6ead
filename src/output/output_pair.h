// The two output files of a run, put in place together or not at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "textio/record_file.h"

/// Owns the two outputs of a run while they are written. Each is written to
/// a temporary file in the directory that will hold it (for a symbolic link,
/// the directory of its target); Commit() renames both into place once both
/// are complete. Until then the earlier files stay as they were, and the
/// destructor removes the temporaries, so a failed run leaves the outputs as
/// it found them (absent where there were none). Character devices such as
/// /dev/null are written directly; an output beside which no temporary can
/// be made (a read-only directory) is written in place.
class OutputPair {
 public:
  struct Output {
    std::string_view name;
    int unit;
  };

  /// Opens both outputs, in order. Raises the open failure for an output
  /// that is the model file or the first output, and the diagnostic of an
  /// output that cannot be opened, before anything is written.
  OutputPair(const FileIdentity& model, Output first, Output second);
  OutputPair(const OutputPair&) = delete;
  OutputPair& operator=(const OutputPair&) = delete;

  OutputFile& first() { return *slots_[0].file; }
  OutputFile& second() { return *slots_[1].file; }

  /// Closes both files (a failed write raises its diagnostic) and puts them
  /// in place together.
  void Commit();

  /// One output while it is written: its file and its temporary.
  struct Slot {
    std::optional<OutputFile> file;
    std::string target;     // the name the file takes when committed
    std::string temporary;  // empty when written directly
    int registered = -1;    // its place among the temporaries a signal removes
    FileIdentity identity;  // of the file, or of the directory that will hold it
    bool exists = false;
    std::string leaf;  // the file's name in that directory
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { Discard(); }
    void Open(Output output, const FileIdentity& model, const Slot* other);
    bool Rename();   // puts the temporary in place; false when that fails
    void Discard();  // removes the temporary, if any
  };

 private:
  Slot slots_[2];
};

/// A further output of a run, such as the .vtu, written after the pair in the
/// same way: beside its name, put in place by Commit() when complete, removed
/// when the run fails. Refused like the pair's outputs when it is the model.
class ReplacedOutput {
 public:
  ReplacedOutput(const FileIdentity& model, OutputPair::Output output) {
    slot_.Open(output, model, nullptr);
  }
  OutputFile& file() { return *slot_.file; }
  /// Closes the file (a failed write raises its diagnostic) and puts it in place.
  void Commit();

 private:
  OutputPair::Slot slot_;
};

/// Sets the process up for writing outputs: a write beyond the file-size
/// limit or into a closed pipe fails (and raises its diagnostic) instead of
/// killing the run, and SIGINT, SIGTERM and SIGHUP, unless ignored already,
/// remove the temporaries before ending the run with the signal.
void HandleSignalsForOutputs();
