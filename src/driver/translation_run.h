// The run from start to stop.
#pragma once

/// Translates "ANSYS_Model.cdb" in the working directory into "input.dat" and
/// "input.plt". Returns the exit status: 0, a diagnostic's number, or 1 for a
/// model the run refuses. Every file is closed when it returns.
int RunTranslation();
