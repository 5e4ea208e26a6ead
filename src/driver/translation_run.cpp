#include "driver/translation_run.h"

#include <new>
#include <string_view>

#include "driver/model_reading.h"
#include "output/output_pair.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kModelFileName = "ANSYS_Model.cdb";
constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

void Translate(OutputFile& console) {
  // Opened before the outputs, so a missing model leaves input.dat and
  // input.plt untouched.
  InputFile model(kModelFileName, kModelUnit);
  // The earlier outputs stay as they are until both new ones are complete;
  // a failure removes what was written.
  OutputPair outputs(model.identity(), {kSolverInputFileName, kSolverInputUnit},
                     {kPlotFileName, kPlotUnit});

  RunTables run;
  ReadModel(model, run, console);

  // Each file is complete, or its failure reported, before the next is begun.
  WriteSolverInputFile(outputs.first(), run);
  outputs.first().Close();
  WritePlotFile(outputs.second(), run);
  outputs.Commit();
  // The pair is in place: a failed write of the closing message changes nothing in it.
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
}

}  // namespace

void PrepareProcess() {
  OpenClosedStandardDescriptors();
  HandleSignalsForOutputs();
}

int RunTranslation() {
  try {
    OutputFile console = OutputFile::Console();
    Translate(console);
    return 0;
  } catch (const RunEnded& ended) {
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file and removed the temporaries.
    return ReportInsufficientMemory();
  }
}
