#include "driver/translation_run.h"

#include <new>
#include <optional>
#include <string_view>

#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "output/map_file.h"
#include "output/output_pair.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "output/vtu_file.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

// The .vtu of the model; its check array shows the model check's findings.
// Like the pair, it replaces an earlier file only once it is complete.
void WriteModelVtu(std::string_view name, const FileIdentity& model, const RunTables& run,
                   const SurfaceOrigins* origins) {
  const SurfaceFindings findings = CheckSurface(run);
  ReplacedOutput vtu(model, {name, kVtuUnit});
  WriteVtuFile(vtu.file(), run, findings.triangle_flags, origins);
  vtu.Commit();
}

void Translate(OutputFile& console, std::string_view vtu_file, int jobs, ModelMode mode) {
  // Opened before the outputs, so a missing model leaves input.dat and
  // input.plt untouched.
  InputFile model(kModelFileName, kModelUnit);
  // The earlier outputs stay as they are until both new ones are complete;
  // a failure removes what was written.
  OutputPair outputs(model.identity(), {kSolverInputFileName, kSolverInputUnit},
                     {kPlotFileName, kPlotUnit});
  // A rebuilt model's map joins the pair: written before the pair is put in
  // place, and put in place right after it.
  const bool rebuilt = mode != ModelMode::kAsWritten;
  std::optional<ReplacedOutput> map;
  if (rebuilt) map.emplace(model.identity(), OutputPair::Output{kMapFileName, kMapUnit});

  RunTables run;
  SurfaceOrigins origins;
  if (rebuilt) {
    ReadRebuiltModel(model, mode, run, origins, jobs);
  } else {
    ReadModel(model, run, console, jobs);
  }

  // Each file is complete, or its failure reported, before the next is begun.
  WriteSolverInputFile(outputs.first(), run, jobs);
  outputs.first().Close();
  WritePlotFile(outputs.second(), run, jobs);
  if (map) {
    WriteMapFile(map->file(), run, origins);
    map->file().Close();
  }
  outputs.Commit();
  if (map) map->Commit();
  // The outputs are in place: a failure from here on changes nothing in them.
  if (!vtu_file.empty())
    WriteModelVtu(vtu_file, model.identity(), run, rebuilt ? &origins : nullptr);
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
}

}  // namespace

void PrepareProcess() {
  OpenClosedStandardDescriptors();
  HandleSignalsForOutputs();
}

int RunTranslation(std::string_view vtu_file, int jobs, ModelMode mode) {
  try {
    OutputFile console = OutputFile::Console();
    Translate(console, vtu_file, jobs, mode);
    return 0;
  } catch (const RunEnded& ended) {
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file and removed the temporaries.
    return ReportInsufficientMemory();
  }
}
