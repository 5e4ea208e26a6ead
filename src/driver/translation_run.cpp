#include "driver/translation_run.h"

#include <cstdio>
#include <new>
#include <optional>
#include <string_view>

#include "check/refusal_cause.h"
#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "driver/run_summary.h"
#include "output/map_file.h"
#include "output/output_pair.h"
#include "output/plot_file.h"
#include "output/solver_input_file.h"
#include "output/vtu_file.h"
#include "system/console.h"
#include "textio/diagnostics.h"
#include "textio/free_form.h"
#include "textio/record_file.h"

namespace {

constexpr std::string_view kSolverInputFileName = "input.dat";
constexpr std::string_view kPlotFileName = "input.plt";
constexpr std::string_view kClosingMessage = " Data Translation from ANSYS to BEM is done!";

// The .vtu of the model; its check array shows the model check's findings.
// Like the pair, it replaces an earlier file only once it is complete.
void WriteModelVtu(const std::string& name, const FileIdentity& model, const RunTables& run,
                   const SurfaceFindings& findings, const SurfaceOrigins* origins) {
  ReplacedOutput vtu(model, {name, kVtuUnit});
  WriteVtuFile(vtu.file(), run, findings.triangle_flags, origins);
  vtu.Commit();
}

void Translate(OutputFile& console, std::string_view vtu_file, int jobs, ModelMode mode,
               const RunFiles& files) {
  // Opened before the outputs, so a missing model leaves input.dat and
  // input.plt untouched.
  InputFile model(files.model, kModelUnit);
  // The earlier outputs stay as they are until both new ones are complete;
  // a failure removes what was written.
  OutputPair outputs(model.identity(), {files.Output(kSolverInputFileName), kSolverInputUnit},
                     {files.Output(kPlotFileName), kPlotUnit});
  // A rebuilt model's map joins the pair: written before the pair is put in
  // place, and put in place right after it.
  const bool rebuilt = mode != ModelMode::kAsWritten;
  const std::string map_name = files.Output(kMapFileName);
  std::optional<ReplacedOutput> map;
  if (rebuilt) map.emplace(model.identity(), OutputPair::Output{map_name, kMapUnit});

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
  // The check's findings serve the .vtu and the line of counts; a run
  // without either does without them.
  const bool summary = StandardErrorIsTerminal();
  SurfaceFindings findings;
  if (!vtu_file.empty() || summary) findings = CheckSurface(run);
  if (!vtu_file.empty()) {
    WriteModelVtu(files.Output(vtu_file), model.identity(), run, findings,
                  rebuilt ? &origins : nullptr);
  }
  WriteFreeForm(console, {kClosingMessage});
  console.Close();
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

}  // namespace

void PrepareProcess() {
  PrepareStandardStreams();
  HandleSignalsForOutputs();
}

int RunTranslation(std::string_view vtu_file, int jobs, ModelMode mode, const RunFiles& files) {
  try {
    OutputFile console = OutputFile::Console();
    Translate(console, vtu_file, jobs, mode, files);
    return 0;
  } catch (const RunEnded& ended) {
    // A person at a terminal is told where to look next; scripts and pipes
    // see the diagnostic alone.
    if (IsRefusal(ended.status) && StandardErrorIsTerminal()) {
      std::fputs("cdb2bem: run 'cdb2bem --check' to see why and what to do\n", stderr);
      if (mode == ModelMode::kAsWritten) {
        std::fputs(RefusalOptionHint(files.model).c_str(), stderr);
      }
    }
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file and removed the temporaries.
    return ReportInsufficientMemory();
  }
}
