#include "driver/model_reading.h"

#include "driver/load_kind_scan.h"
#include "driver/model_size_scan.h"
#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/model_records.h"
#include "model/node_block.h"
#include "model/pressure_loads.h"
#include "model/renumbering.h"
#include "model/skin.h"
#include "textio/diagnostics.h"
#include "textio/file_opening.h"
#include "threads/parallel_records.h"
#include "threads/record_index_scan.h"

std::string RunFiles::Output(std::string_view name) const {
  if (IsAbsolutePath(name) || !HasDirectoryPart(model)) {
    return std::string(name);
  }
  return JoinPath(DirectoryOf(model), name);
}

RunFiles RunFilesFor(std::string_view model) {
  RunFiles files;
  if (!model.empty()) files.model = model;
  files.operand = model;
  return files;
}

int JobsToRun(int jobs) { return jobs > 0 ? jobs : DefaultJobCount(); }

void ReadModel(InputFile& model, RunTables& run, OutputFile& console, int jobs) {
  // The load kind scan tests every record the size scan reads, then reads
  // on from where the size scan stopped: one reading of the file serves both
  // passes, with the same results and diagnostics as two. With threads, one
  // searches the second half of the file for the records the scans stop at
  // while they read the first half.
  LoadKindScan load_kinds(run);
  {
    RecordIndexScan index(model, jobs, kScanInitials);
    auto test = [&load_kinds](std::string_view record, std::uint64_t offset) {
      load_kinds.Test(record, offset);
    };
    model.Observe(test);
    ScanModelSizes(model, run);
    model.StopObserving();
    ScanLoadKinds(model, load_kinds);
  }
  load_kinds.type_records().ReadTypes(model, run.Types);
  AllocateTables(run);

  model.Reopen();
  ReadNodeBlock(model, run, console, jobs);
  ReadElementBlock(model, run, jobs);
  ReadDisplacementConstraints(model, run, jobs);
  RefuseConstrainedRotatedNodes(run);
  if (run.HasPressures) {
    // The pressure pass passes over every record before the first "SFE,"
    // one, so it starts there; what it reads and raises is the same.
    model.ReopenAt(run.FirstPressureCommandOffset);
    ReadPressureLoads(model, run);
  }
  // Every pass has read the same file, unchanged.
  model.CheckUnchanged();
}

namespace {

void BuildOfMode(const ModelRecords& records, ModelMode mode, RunTables& run,
                 SurfaceOrigins& origins, int jobs) {
  if (mode == ModelMode::kSkin) {
    BuildSkinModel(records, run, origins, jobs);
  } else {
    BuildRenumberedModel(records, run, origins, jobs);
  }
}

// Removes the elements of the types `list` names from `records`.
void LeaveOut(ModelRecords& records, const LeaveOutList& list) {
  LeftOutTypes left_out;
  const std::string absent = ResolveLeaveOut(list, records.types, left_out);
  if (!absent.empty()) StopWithModelError(LeaveOutNameAbsent(absent));
  LeaveOutElements(records, left_out);
}

}  // namespace

void ReadRebuiltModel(InputFile& model, const RebuildOptions& options, RunTables& run,
                      SurfaceOrigins& origins, int jobs) {
  ModelRecords records;
  ReadModelRecords(model, records, jobs);
  // The file read is the file opened, unchanged.
  model.CheckUnchanged();
  if (!options.leave_out.empty()) LeaveOut(records, options.leave_out);
  BuildOfMode(records, options.mode, run, origins, jobs);
}

void BuildRebuiltModel(const ModelRecords& records, const RebuildOptions& options, RunTables& run,
                       SurfaceOrigins& origins, int jobs) {
  if (options.leave_out.empty()) {
    BuildOfMode(records, options.mode, run, origins, jobs);
    return;
  }
  ModelRecords kept = records;
  LeaveOut(kept, options.leave_out);
  BuildOfMode(kept, options.mode, run, origins, jobs);
}
