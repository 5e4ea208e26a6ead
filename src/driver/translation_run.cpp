#include "driver/translation_run.h"

#include <optional>

#include "driver/load_kind_scan.h"
#include "driver/model_size_scan.h"
#include "driver/run_tables.h"
#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "model/pressure_loads.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kModelFileName = "ANSYS_Model.cdb";
constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

void AllocateTable(auto& table, std::int64_t rows, std::int64_t columns, bool zeroed = false) {
  if (rows < 0) rows = 0;
  if (columns < 0) columns = 0;
  using Item = std::remove_reference_t<decltype(table(1, 1))>;
  const std::int64_t column_bytes = rows * static_cast<std::int64_t>(sizeof(Item));
  if (column_bytes != 0 && columns > std::int64_t{4294967295} / column_bytes) {
    RaiseDiagnostic(kArraySizeOverflow);
  }
  if (!table.Allocate(rows, columns, zeroed)) RaiseDiagnostic(kInsufficientMemory);
}

}  // namespace

void AllocateTables(RunTables& run) {
  const std::int64_t nodes = run.NodeCount;
  const std::int64_t triangles = 2 * std::int64_t{run.ElementCount};
  AllocateTable(run.NodeCoords, 3, nodes);
  AllocateTable(run.TriangleNodes, 3, triangles);
  // Zero marks an element that no boundary-element record carried.
  AllocateTable(run.ElementTriangles, run.ElementCount, 2, /*zeroed=*/true);
  AllocateTable(run.TriangleBcValues, 3, triangles);
  AllocateTable(run.TriangleBcKinds, 3, triangles);
  AllocateTable(run.NodeDisplacements, 3, nodes);
  AllocateTable(run.TriangleConstraintCounts, 3, triangles);
  AllocateTable(run.FieldPointCoords, 3, run.FieldPointCount);
  AllocateTable(run.FieldCellNodes, 4, run.FieldCellCount);
}

int RunTranslation() {
  // Each object closes its file as the run unwinds, with what it holds.
  std::optional<InputFile> model;
  std::optional<OutputFile> solver_input;
  std::optional<OutputFile> plot;
  OutputFile console = OutputFile::Console();
  try {
    // Opened before the outputs, so a missing model leaves input.dat and input.plt untouched.
    model.emplace(kModelFileName, kModelUnit);
    solver_input.emplace(kSolverInputFileName, kSolverInputUnit);
    plot.emplace(kPlotFileName, kPlotUnit);

    RunTables run;
    // The load kind scan tests every record the size scan reads, then reads
    // on from where the size scan stopped: one reading of the file serves both
    // passes, with the same results and diagnostics as two.
    LoadKindScan load_kinds(run);
    model->Observe(&LoadKindScan::Observe, &load_kinds);
    ScanModelSizes(*model, run);
    model->Observe(nullptr, nullptr);
    ScanLoadKinds(*model, load_kinds);
    AllocateTables(run);

    model->Reopen();
    ReadNodeBlock(*model, run, console);
    ReadElementBlock(*model, run);
    ReadDisplacementConstraints(*model, run);
    if (run.HasPressures) {
      // The pressure pass passes over every record before the first "SFE,"
      // one, so it starts there; what it reads and raises is the same.
      model->ReopenAt(run.FirstPressureCommandOffset);
      ReadPressureLoads(*model, run);
    }

    // Each file is complete on disk, or its failure reported, before the next is begun.
    WriteSolverInputFile(*solver_input, run);
    solver_input->Close();
    WritePlotFile(*plot, run);
    plot->Close();
    WriteFreeForm(console, {kClosingMessage});
    console.Close();
    return 0;
  } catch (const RunEnded& ended) {
    return ended.status;
  }
}
