// The run from start to stop.
#pragma once

#include <string_view>

/// Translates "ANSYS_Model.cdb" in the working directory into "input.dat" and
/// "input.plt"; when `vtu_file` is not empty, then writes the model with its
/// conditions to that file as VTK XML (.vtu). Returns the exit status: 0, a
/// diagnostic's number, or 1 for a model the run refuses. Every file is closed
/// when it returns.
int RunTranslation(std::string_view vtu_file = {});
