#include "driver/translation_run.h"

#include <new>
#include <string_view>

#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "output/output_pair.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "output/vtu_file.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/parallel_records.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

void Translate(OutputFile& console, std::string_view vtu_file, int jobs) {
  // Opened before the outputs, so a missing model leaves them untouched.
  InputFile model(kModelFileName, kModelUnit);
  // The earlier outputs stay as they are until all new ones are complete;
  // a failure removes what was written. Every output's place is checked
  // here, before anything is read or written.
  OutputSet outputs(model.identity(),
                    {{kSolverInputFileName, kSolverInputUnit}, {kPlotFileName, kPlotUnit}});
  if (!vtu_file.empty()) outputs.Add({vtu_file, kVtuUnit});

  RunTables run;
  ReadModel(model, run, console, jobs);

  // Each file is complete, or its failure reported, before the next is begun.
  WriteSolverInputFile(outputs.file(0), run, jobs);
  outputs.file(0).Close();
  WritePlotFile(outputs.file(1), run, jobs);
  if (!vtu_file.empty()) {
    outputs.file(1).Close();
    // The .vtu's check array shows the model check's findings.
    WriteVtuFile(outputs.file(2), run, CheckSurface(run).triangle_flags);
  }
  outputs.Commit();
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
}

}  // namespace

void PrepareProcess() {
  OpenClosedStandardDescriptors();
  HandleSignalsForOutputs();
  LimitThreadStacks();
}

int RunTranslation(std::string_view vtu_file, int jobs) {
  try {
    OutputFile console = OutputFile::Console();
    Translate(console, vtu_file, jobs);
    return 0;
  } catch (const RunEnded& ended) {
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file and removed the temporaries.
    return ReportInsufficientMemory();
  }
}
