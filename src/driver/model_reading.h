// The reading passes of a run, shared by the translation and the model check.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/leave_out.h"
#include "model/model_records.h"
#include "model/rebuilt_surface.h"
#include "model/run_tables.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

/// The model file read when the command line names none, in the working
/// directory.
inline constexpr std::string_view kModelFileName = "ANSYS_Model.cdb";

/// The files of a run: the model, named as the command line gives it
/// (relative to the working directory), and the outputs, written in the
/// model's directory. Every file a run writes is named through Output.
struct RunFiles {
  std::string model{kModelFileName};
  /// The model operand and the -C directories as the command line gave
  /// them, for the command lines a run proposes; empty when not given.
  std::string operand;
  std::vector<std::string> directories;
  /// The file `name` in the model's directory: `name` itself when it is an
  /// absolute path or the model is named without a directory.
  std::string Output(std::string_view name) const;
};

/// The files of a run reading `model`; an empty name is ANSYS_Model.cdb.
RunFiles RunFilesFor(std::string_view model);

/// Reads the model file, open at its first record, into `run`: the size and
/// load kind scans, the allocation of the tables, the node, element and
/// constraint passes, and the pressure pass when the model carries pressures.
/// Node-number messages go to `console`. A failure raises its diagnostic.
/// The node and element records are converted on `jobs` threads.
void ReadModel(InputFile& model, RunTables& run, OutputFile& console, int jobs = 1);

/// The threads a run converts records on: `jobs`, or for 0 one per core the
/// process may use (at most 16).
int JobsToRun(int jobs);

/// How the run makes its surface model of the model file.
enum class ModelMode {
  kAsWritten,   // the file's surface elements, read in place
  kRenumbered,  // --renumber: nodes and elements numbered 1, 2, 3, ...
  kSkin,        // --skin: the outer faces of the volume elements
};

/// How a run makes its model: the mode, and the element types it leaves
/// out. A list given without kSkin makes the model renumbered.
struct RebuildOptions {
  RebuildOptions(ModelMode mode_given = ModelMode::kAsWritten, LeaveOutList list = {})
      : mode(mode_given), leave_out(std::move(list)) {
    if (!leave_out.empty() && mode == ModelMode::kAsWritten) mode = ModelMode::kRenumbered;
  }
  ModelMode mode;
  LeaveOutList leave_out;
};

/// Reads the whole model file, open at its first record, once, and builds
/// the surface model of `options` (kRenumbered or kSkin) into `run`, with
/// where each item comes from in `origins`. A refused model raises status 1.
void ReadRebuiltModel(InputFile& model, const RebuildOptions& options, RunTables& run,
                      SurfaceOrigins& origins, int jobs = 1);

/// Builds the surface model of `options` from the records of a model read,
/// as ReadRebuiltModel does, leaving `records` as they are: the elements of
/// the local types its list names are not read (field cells excepted), and
/// pressures on them are dropped. A name of the list that no local type of
/// the model has refuses the model (status 1), as any other refusal of it.
void BuildRebuiltModel(const ModelRecords& records, const RebuildOptions& options, RunTables& run,
                       SurfaceOrigins& origins, int jobs = 1);
