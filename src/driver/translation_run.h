// The run from start to stop.
#pragma once

#include <string_view>

#include "driver/model_reading.h"

/// Translates the model of `files` ("ANSYS_Model.cdb" in the working
/// directory unless named) into "input.dat" and "input.plt" in the model's
/// directory; when `vtu_file` is not empty, then writes the model with its
/// conditions to that file (in the model's directory when it is a relative
/// name) as VTK XML (.vtu). When standard error is a terminal, a line of
/// counts follows the closing message there. Records are converted on `jobs`
/// threads (0: one per core the process may use); the files, messages and status are the same for
/// any number. Returns the exit status: 0, a diagnostic's number, or 1 for a model the run refuses.
/// Every file is closed when it returns; the outputs (the .vtu and a map among them) are replaced
/// only when all are complete, and all together. Running out of memory anywhere ends the run with
/// diagnostic 41. With `reading` kRenumbered or kSkin (a --leave-out list among them), the surface
/// model is the model renumbered or its skin, and "input-map.csv" is written beside the pair,
/// replaced with it. With `write_material`, the material record holds the model's constants (a
/// model whose constants cannot be written is refused, status 1). Once the outputs are written,
/// warnings of what the solver will not get follow on standard error, one line each.
int RunTranslation(std::string_view vtu_file = {}, int jobs = 1, const RebuildOptions& reading = {},
                   const RunFiles& files = {}, bool write_material = false);
