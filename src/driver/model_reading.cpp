#include "driver/model_reading.h"

#include "driver/load_kind_scan.h"
#include "driver/model_size_scan.h"
#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "model/pressure_loads.h"

void ReadModel(InputFile& model, RunTables& run, OutputFile& console, int jobs) {
  // The load kind scan tests every record the size scan reads, then reads
  // on from where the size scan stopped: one reading of the file serves both
  // passes, with the same results and diagnostics as two.
  LoadKindScan load_kinds(run);
  model.Observe(&LoadKindScan::Observe, &load_kinds);
  ScanModelSizes(model, run);
  model.Observe(nullptr, nullptr);
  ScanLoadKinds(model, load_kinds);
  AllocateTables(run);

  model.Reopen();
  ReadNodeBlock(model, run, console, jobs);
  ReadElementBlock(model, run, jobs);
  ReadDisplacementConstraints(model, run, jobs);
  if (run.HasPressures) {
    // The pressure pass passes over every record before the first "SFE,"
    // one, so it starts there; what it reads and raises is the same.
    model.ReopenAt(run.FirstPressureCommandOffset);
    ReadPressureLoads(model, run);
  }
  // Every pass has read the same file, unchanged.
  model.CheckUnchanged();
}
