#include "driver/check_run.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_report.h"
#include "check/refusal_cause.h"
#include "check/surface_check.h"
#include "driver/model_reading.h"
#include "driver/remedy_trial.h"
#include "textio/diagnostics.h"
#include "textio/input_file.h"
#include "textio/output_file.h"
#include "threads/run_crew.h"

namespace {

// The report goes out as plain lines (line feeds, for scripts) through the
// console that the node-number messages went to, after them; a failed write
// raises the write diagnostic.
void Print(OutputFile& console, const std::string& text) {
  console.WriteBytes(text.data(), text.size());
  console.Flush();
}

int Check(OutputFile& console, int jobs, const RebuildOptions& reading, const RunFiles& files) {
  RunTables run;
  SurfaceOrigins origins;
  try {
    InputFile model(files.model, kModelUnit);
    if (reading.mode == ModelMode::kAsWritten) {
      ReadModel(model, run, console, jobs);
    } else {
      ReadRebuiltModel(model, reading, run, origins, jobs);
    }
  } catch (const RunEnded& refused) {
    const std::optional<ModelSurvey> survey = SurveyRefusedModel(files.model, refused);
    const TriedRemedy tried =
        survey ? TryRemedy(files, reading, refused, *survey, jobs) : TriedRemedy{};
    Print(console, ExplainRefusal(files.model, refused, survey,
                                  reading.mode == ModelMode::kAsWritten, tried));
    return refused.status;
  }
  const SurfaceFindings findings = CheckSurface(run);
  std::vector<ExtraFigure> extra;
  if (reading.mode == ModelMode::kSkin) {
    extra = {{"skin faces", origins.skin_faces}, {"interior faces", origins.interior_faces}};
  }
  Print(console, CheckReportText(findings, extra));
  return CheckStatus(findings);
}

}  // namespace

int RunCheck(int jobs, const RebuildOptions& reading, const RunFiles& files) {
  jobs = JobsToRun(jobs);
  // The threads are started once for every block the run reads and writes.
  const RunCrew crew(jobs);
  try {
    OutputFile console = OutputFile::Console();
    return Check(console, jobs, reading, files);
  } catch (const RunEnded& ended) {
    return ended.status;
  } catch (const std::bad_alloc&) {
    // Unwinding has closed every file.
    return ReportInsufficientMemory();
  }
}
