// The second pass: which load kinds the model carries.
#pragma once

#include "driver/run_tables.h"
#include "textio/record_file.h"

/// Sets HasDisplacements and HasPressures from the records up to the first
/// one beginning "FINI", which it leaves the file after.
void ScanLoadKinds(InputFile& model, RunTables& run);
