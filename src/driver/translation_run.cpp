#include "driver/translation_run.h"

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "check/model_warnings.h"
#include "check/refusal_cause.h"
#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "driver/remedy_trial.h"
#include "driver/run_summary.h"
#include "output/map_file.h"
#include "output/output_set.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "output/vtu_file.h"
#include "system/console.h"
#include "system/interruptions.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/input_file.h"
#include "textio/output_file.h"
#include "threads/parallel_records.h"
#include "threads/run_crew.h"

namespace {

constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

void Translate(OutputFile& console, std::string_view vtu_file, int jobs,
               const RebuildOptions& reading, const RunFiles& files, bool write_material) {
  // Opened before the outputs, so a missing model leaves them untouched.
  InputFile model(files.model, kModelUnit);
  // The earlier outputs stay as they are until all new ones are complete;
  // a failure removes what was written. Every output's place is checked
  // here, before anything is read or written: the pair, a rebuilt model's
  // map and the .vtu.
  OutputSet outputs(model.identity(), {{files.Output(kSolverInputFileName), kSolverInputUnit},
                                       {files.Output(kPlotFileName), kPlotUnit}});
  const bool rebuilt = reading.mode != ModelMode::kAsWritten;
  OutputFile* map = rebuilt ? &outputs.Add({files.Output(kMapFileName), kMapUnit}) : nullptr;
  OutputFile* vtu = vtu_file.empty() ? nullptr : &outputs.Add({files.Output(vtu_file), kVtuUnit});
  // A run that writes no map removes the map an earlier run left beside
  // the pair, so that no map stands beside outputs it does not describe.
  if (!rebuilt) outputs.Remove({files.Output(kMapFileName), kMapUnit});

  RunTables run;
  SurfaceOrigins origins;
  if (rebuilt) {
    ReadRebuiltModel(model, reading, run, origins, jobs);
  } else {
    ReadModel(model, run, console, jobs);
  }
  // --material refuses a model whose constants cannot be written, before
  // anything is.
  const std::string material_text = write_material ? ModelMaterialText(run.Notes) : std::string();

  // Each file is complete, or its failure reported, before the next is begun.
  WriteSolverInputFile(outputs.file(0), run, jobs, material_text);
  outputs.file(0).Close();
  WritePlotFile(outputs.file(1), run, jobs);
  outputs.file(1).Close();
  if (map != nullptr) {
    WriteMapFile(*map, run, origins);
    map->Close();
  }
  // The check's findings serve the .vtu (its check array), the line of
  // counts and the warning of a surface that is not closed; a run without
  // the first two checks the surface only when the closure test fails.
  const bool summary = StandardErrorIsTerminal();
  const bool checked = vtu != nullptr || summary || MayNotBeClosed(run, jobs);
  SurfaceFindings findings;
  if (checked) findings = CheckSurface(run);
  if (vtu != nullptr) {
    WriteVtuFile(*vtu, run, findings.triangle_flags, rebuilt ? &origins : nullptr);
  }
  outputs.Commit();
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
  // Warnings only once the outputs are written.
  for (const std::string& line :
       TranslationWarnings(run, checked ? &findings : nullptr, write_material)) {
    PrintWarning(line);
  }
  if (summary) PrintWarning(RunSummaryLine(findings));
}

// A run that the model ended: refused (status 1), or a record of it that
// could not be read. The check explains each of them.
bool IsRefusal(int status) {
  switch (status) {
    case 1:
    case kEndOfFile:
    case kSyntaxError:
    case kInputConversion:
    case kInvalidInteger:
    case kInvalidReal:
      return true;
    default:
      return false;
  }
}

// The check's command, and the command that translates the model when one
// was tried and gets through.
void HintAtRemedy(const RunEnded& ended, const RebuildOptions& reading, const RunFiles& files,
                  int jobs) {
  std::string options = ModeOptions(reading);
  options += options.empty() ? "--check" : " --check";
  const std::string line =
      "cdb2bem: run '" + CommandFor(files, options) + "' to see why and what to do\n";
  std::fputs(line.c_str(), stderr);
  if (const std::optional<ModelSurvey> survey = SurveyRefusedModel(files.model, ended)) {
    std::fputs(RefusalOptionHint(TryRemedy(files, reading, ended, *survey, jobs)).c_str(), stderr);
  }
}

}  // namespace

int RunTranslation(std::string_view vtu_file, int jobs, const RebuildOptions& reading,
                   const RunFiles& files, bool write_material) {
  jobs = JobsToRun(jobs);
  // The threads are started once for every block the run reads and writes.
  const RunCrew crew(jobs);
  try {
    OutputFile console = OutputFile::Console();
    Translate(console, vtu_file, jobs, reading, files, write_material);
    return 0;
  } catch (const RunEnded& ended) {
    // A person at a terminal is told where to look next; scripts and pipes
    // see the diagnostic alone.
    if (IsRefusal(ended.status) && StandardErrorIsTerminal())
      HintAtRemedy(ended, reading, files, jobs);
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file and removed the temporaries.
    return ReportInsufficientMemory();
  }
}
