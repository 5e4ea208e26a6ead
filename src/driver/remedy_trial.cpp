#include "driver/remedy_trial.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "driver/run_summary.h"
#include "model/leave_out.h"
#include "model/model_records.h"
#include "model/rebuilt_surface.h"
#include "model/run_tables.h"
#include "textio/input_file.h"

namespace {

// A refusal that the other modes make alike: they read every value and the
// file's end by the same rules (the file as written may have been read
// out of step, past a block, by its header's counts).
bool MadeInEveryMode(ModelMode mode, const RunEnded& refused) {
  if (refused.note.rule == StopRule::kRotatedNode) return true;
  return mode != ModelMode::kAsWritten &&
         (refused.status == kEndOfFile || refused.note.rule == StopRule::kUnreadableValue);
}

// The local type that stopped a reading, when leaving it out may get past.
std::optional<std::int32_t> BlockingType(const RunEnded& ended) {
  switch (ended.note.rule) {
    case StopRule::kTypeNotSurface:
    case StopRule::kTypeNotVolume:
    case StopRule::kNodesNotSurface:
      return ended.note.itype;
    default:
      return std::nullopt;
  }
}

// The model of `files` read as the rebuilt modes read it, silently; nothing
// when the reading refuses it.
std::optional<ModelRecords> ReadOnTrial(const RunFiles& files, int jobs) {
  const SilentDiagnostics silent;
  try {
    InputFile model(files.model, kModelUnit);
    ModelRecords records;
    ReadModelRecords(model, records, jobs);
    model.CheckUnchanged();
    return records;
  } catch (const RunEnded&) {
    return std::nullopt;
  }
}

// Builds the model of `options` from `records`, silently; where it stopped,
// or nothing when it made a surface.
std::optional<RunEnded> BuildOnTrial(const ModelRecords& records, const RebuildOptions& options,
                                     int jobs) {
  const SilentDiagnostics silent;
  try {
    RunTables run;
    SurfaceOrigins origins;
    BuildRebuiltModel(records, options, run, origins, jobs);
    if (run.TriangleCount == 0) return RunEnded{1};
  } catch (const RunEnded& ended) {
    return ended;
  }
  return std::nullopt;
}

}  // namespace

std::string CommandFor(const RunFiles& files, std::string_view options) {
  std::string text = "cdb2bem";
  for (const std::string& directory : files.directories)
    text.append(" -C ").append(TypedWord(directory));
  if (!options.empty()) text.append(" ").append(options);
  if (!files.operand.empty()) text.append(" ").append(TypedWord(files.operand));
  return text;
}

std::string ModeOptions(const RebuildOptions& reading) {
  std::string text;
  if (reading.mode == ModelMode::kSkin) {
    text = "--skin";
  } else if (reading.mode == ModelMode::kRenumbered && reading.leave_out.empty()) {
    text = "--renumber";
  }
  if (!reading.leave_out.empty()) {
    if (!text.empty()) text.push_back(' ');
    text.append("--leave-out ").append(LeaveOutText(reading.leave_out));
  }
  return text;
}

TriedRemedy TryRemedy(const RunFiles& files, const RebuildOptions& reading, const RunEnded& refused,
                      const ModelSurvey& survey, int jobs) {
  TriedRemedy tried;
  if (MadeInEveryMode(reading.mode, refused) || IsPlanarModel(survey) ||
      survey.nodes.header_record == 0 || survey.elements.header_record == 0) {
    return tried;
  }
  tried.skin = UsesVolumeTypes(survey);
  RebuildOptions trial(tried.skin ? ModelMode::kSkin : ModelMode::kRenumbered);
  const bool same_mode = trial.mode == reading.mode;
  if (same_mode) trial.leave_out = reading.leave_out;
  const std::optional<ModelRecords> records = ReadOnTrial(files, jobs);
  if (!records) return TriedRemedy{};
  // The run itself was the first trial: it goes on from where the run stopped.
  std::optional<RunEnded> stopped =
      same_mode ? std::optional<RunEnded>(refused) : BuildOnTrial(*records, trial, jobs);
  while (stopped) {
    const std::optional<std::int32_t> blocking = BlockingType(*stopped);
    if (!blocking || std::ranges::find(tried.left_out, *blocking) != tried.left_out.end() ||
        tried.left_out.size() + 1 >= survey.used_types.size()) {
      break;
    }
    tried.left_out.push_back(*blocking);
    trial.leave_out.items.push_back({*blocking, *blocking, 0, {}});
    stopped = BuildOnTrial(*records, trial, jobs);
  }
  // The command the user ran is no remedy.
  if (same_mode && tried.left_out.empty()) return TriedRemedy{};
  tried.command = CommandFor(files, ModeOptions(trial));
  tried.passed = !stopped;
  if (stopped) tried.stopped = *stopped;
  return tried;
}
