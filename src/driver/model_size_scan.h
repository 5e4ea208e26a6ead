// The first pass: the four counts that size every table.
#pragma once

#include <string>

#include "model/run_tables.h"
#include "textio/input_file.h"

/// Sets NodeCount, ElementCount, FieldPointCount and FieldCellCount from the
/// offset header and the FIELDCELLS and FIELDPOINTS components. Leaves the
/// file after the last record read. A "FINISH" record before "*ELSE" ends
/// the run with the structure error and status 1.
void ScanModelSizes(InputFile& model, RunTables& run);

/// The structure error for the FINISH record that `model` read last: the
/// bare diagnostic, or, for a person at a terminal (`reason`), the same with
/// the record's number and why the model cannot be read, on one line.
std::string StructureErrorText(const InputFile& model, bool reason);
