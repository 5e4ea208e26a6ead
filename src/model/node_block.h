// Node block: boundary-node and field-point coordinates.
#pragma once

#include "model/run_tables.h"
#include "textio/record_file.h"

/// Finds the node format record, then reads NodeCount node records into
/// NodeCoords and FieldPointCount field-point records into FieldPointCoords,
/// by position, converting them on `jobs` threads. Each numbering mismatch is
/// reported on `console`, in record order. Leaves the
/// file after the last node or field-point record.
void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs = 1);
