// A second look at a model file the run refused: where the run stopped,
// what in the file led to it, in the model's own terms, and the likely
// remedy.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "check/model_survey.h"
#include "check/stop_report.h"
#include "textio/diagnostics.h"

/// Reads the model file `name` once more, by the readers' row rules, for
/// what lies beyond where the run stopped (`refused`): the header's counts,
/// the blocks, the element types of the whole file, the field components.
/// Nothing when the file could not be opened or read again.
std::optional<ModelSurvey> SurveyRefusedModel(std::string_view name, const RunEnded& refused);

/// Describes, in lines ended by a line feed: where the run stopped and by
/// which rule, as its reader noted it; what the survey finds (the header's
/// counts against the records of the node and element blocks, the first
/// node or element number out of sequence, element records that span two
/// lines, the field components where the run does not look for them, a 2-D
/// model, a fragment); the likely remedies, a command the check `tried`
/// first when it got through. With `plain` the run read the file as
/// written, and the survey is set against its counts and rules; else only
/// the blocks' presence and the model's kind are said. A model that could
/// not be opened is not read.
std::string ExplainRefusal(std::string_view name, const RunEnded& refused,
                           const std::optional<ModelSurvey>& survey, bool plain,
                           const TriedRemedy& tried);

/// For a refused translation, the command that was tried on the model and
/// translates it, as a line ended by a line feed ("cdb2bem: ... 'cdb2bem
/// --skin TetBeam.cdb' ..."); empty when none was tried or it did not pass.
std::string RefusalOptionHint(const TriedRemedy& tried);
