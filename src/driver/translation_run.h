// The run from start to stop.
#pragma once

#include <string_view>

/// Readies the process, once before any run: standard descriptors that are
/// closed are opened on /dev/null, a write beyond the file-size limit or into
/// a closed pipe fails with its diagnostic instead of killing the process,
/// an interrupting signal removes the temporary outputs before it ends the
/// process, and threads get stacks of 4 MiB.
void PrepareProcess();

/// Translates "ANSYS_Model.cdb" in the working directory into "input.dat" and
/// "input.plt"; when `vtu_file` is not empty, then writes the model with its
/// conditions to that file as VTK XML (.vtu). Records are converted on `jobs`
/// threads; the files, messages and status are the same for any number. Returns the exit status: 0,
/// a diagnostic's number, or 1 for a model the run refuses. Every file is closed when it returns;
/// the outputs (the .vtu among them) are replaced only when all are complete, and all together.
/// Running out of memory anywhere ends the run with diagnostic 41.
int RunTranslation(std::string_view vtu_file = {}, int jobs = 1);
