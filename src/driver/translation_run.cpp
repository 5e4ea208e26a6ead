#include "driver/translation_run.h"

#include <string_view>

#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "output/vtu_file.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kModelFileName = "ANSYS_Model.cdb";
constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

// The .vtu of the model; its check array shows the model check's findings.
void WriteModelVtu(std::string_view name, const RunTables& run) {
  const SurfaceFindings findings = CheckSurface(run);
  OutputFile vtu(name, kVtuUnit);
  WriteVtuFile(vtu, run, findings.triangle_flags);
  vtu.Close();
}

void Translate(OutputFile& console, std::string_view vtu_file) {
  // Opened before the outputs, so a missing model leaves input.dat and
  // input.plt untouched. Each file closes with what it holds as the run
  // unwinds.
  InputFile model(kModelFileName, kModelUnit);
  OutputFile solver_input(kSolverInputFileName, kSolverInputUnit);
  OutputFile plot(kPlotFileName, kPlotUnit);

  RunTables run;
  ReadModel(model, run, console);

  // Each file is complete on disk, or its failure reported, before the next is begun.
  WriteSolverInputFile(solver_input, run);
  solver_input.Close();
  WritePlotFile(plot, run);
  plot.Close();
  if (!vtu_file.empty()) WriteModelVtu(vtu_file, run);
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
}

}  // namespace

int RunTranslation(std::string_view vtu_file) {
  OutputFile console = OutputFile::Console();
  try {
    Translate(console, vtu_file);
    return 0;
  } catch (const RunEnded& ended) {
    return ended.status;
  }
}
