#include "driver/remedy_trial.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/rebuilt_surface.h"
#include "model/run_tables.h"
#include "textio/input_file.h"

namespace {

std::string Word(std::string_view word) {
  if (!word.empty() && word.find_first_of(" \t'\"") == std::string_view::npos) {
    return std::string(word);
  }
  std::string quoted(1, '"');
  quoted.append(word).push_back('"');
  return quoted;
}

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

// Reads the model in `mode` without the elements of `left_out`; where it
// stopped, or nothing when it made a surface.
std::optional<RunEnded> ReadOnTrial(const RunFiles& files, ModelMode mode,
                                    const std::vector<std::int32_t>& left_out, int jobs) {
  if (!left_out.empty()) return RunEnded{1};  // no reading leaves types out
  const SilentDiagnostics silent;
  try {
    InputFile model(files.model, kModelUnit);
    RunTables run;
    SurfaceOrigins origins;
    ReadRebuiltModel(model, mode, run, origins, jobs);
    if (run.TriangleCount == 0) return RunEnded{1};
  } catch (const RunEnded& ended) {
    return ended;
  }
  return std::nullopt;
}

std::string LeaveOutList(const std::vector<std::int32_t>& left_out) {
  std::string list;
  for (const std::int32_t itype : left_out) {
    if (!list.empty()) list.push_back(',');
    list.append(std::to_string(itype));
  }
  return list;
}

}  // namespace

std::string CommandFor(const RunFiles& files, std::string_view options) {
  std::string text = "cdb2bem";
  for (const std::string& directory : files.directories)
    text.append(" -C ").append(Word(directory));
  if (!options.empty()) text.append(" ").append(options);
  if (!files.operand.empty()) text.append(" ").append(Word(files.operand));
  return text;
}

std::string_view ModeOption(ModelMode mode) {
  switch (mode) {
    case ModelMode::kSkin:
      return "--skin";
    case ModelMode::kRenumbered:
      return "--renumber";
    case ModelMode::kAsWritten:
      break;
  }
  return {};
}

TriedRemedy TryRemedy(const RunFiles& files, ModelMode mode, const RunEnded& refused,
                      const ModelSurvey& survey, int jobs) {
  TriedRemedy tried;
  if (MadeInEveryMode(mode, refused) || IsPlanarModel(survey) || survey.nodes.header_record == 0 ||
      survey.elements.header_record == 0) {
    return tried;
  }
  tried.skin = UsesVolumeTypes(survey);
  const ModelMode trial = tried.skin ? ModelMode::kSkin : ModelMode::kRenumbered;
  std::optional<RunEnded> stopped;
  // The run itself was this trial: it goes on from where the run stopped.
  if (trial == mode) stopped = refused;
  if (!stopped) stopped = ReadOnTrial(files, trial, tried.left_out, jobs);
  while (stopped) {
    const std::optional<std::int32_t> blocking = BlockingType(*stopped);
    if (!blocking || std::ranges::find(tried.left_out, *blocking) != tried.left_out.end() ||
        tried.left_out.size() + 1 >= survey.used_types.size()) {
      break;
    }
    tried.left_out.push_back(*blocking);
    stopped = ReadOnTrial(files, trial, tried.left_out, jobs);
  }
  std::ranges::sort(tried.left_out);
  std::string options(tried.left_out.empty() || tried.skin ? ModeOption(trial) : "");
  if (!tried.left_out.empty()) {
    if (!options.empty()) options.push_back(' ');
    options.append("--leave-out ").append(LeaveOutList(tried.left_out));
  }
  // The command the user ran is no remedy.
  if (trial == mode && tried.left_out.empty()) return TriedRemedy{};
  tried.command = CommandFor(files, options);
  tried.passed = !stopped;
  if (stopped) tried.stopped = *stopped;
  return tried;
}
