// The remedies the check proposes as command lines: tried on the model, in
// memory, before they are proposed, and spelt as the user types them.
#pragma once

#include <string>
#include <string_view>

#include "check/model_survey.h"
#include "check/stop_report.h"
#include "driver/model_reading.h"
#include "textio/diagnostics.h"

/// The command line that runs cdb2bem with `options` ("--skin --check") on
/// the model of `files` as the user named it: its -C directories, then the
/// options, then the model operand; a word with a blank or a quote is given
/// in double quotes.
std::string CommandFor(const RunFiles& files, std::string_view options);

/// The options of `reading` as the command line gives them ("--skin
/// --leave-out 2,CONTA174"; empty for the file as written).
std::string ModeOptions(const RebuildOptions& reading);

/// For a model that the run of `reading` refused (`refused`), tries the mode
/// that may translate it (--skin for a model of volume elements, else
/// --renumber) on the model in memory, writing and printing nothing; each
/// local type that stops it is left out (beside the types `reading` leaves
/// out) and the model built again from the records read, so that one
/// command gets through. A 2-D model, a fragment and a refusal that
/// every mode makes alike (a constraint across rotated axes; after a
/// rebuilt mode, a value that cannot be read or a file cut short) are not
/// tried.
TriedRemedy TryRemedy(const RunFiles& files, const RebuildOptions& reading, const RunEnded& refused,
                      const ModelSurvey& survey, int jobs);
