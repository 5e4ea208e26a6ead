// Node block: boundary-node and field-point coordinates.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/run_tables.h"
#include "textio/fixed_layout.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

/// Finds the node format record, then reads NodeCount node records into
/// NodeCoords and FieldPointCount field-point records into FieldPointCoords,
/// by position, converting them on `jobs` threads. Each numbering mismatch is
/// reported on `console`, in record order. Leaves the
/// file after the last node or field-point record.
void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs = 1);

/// The layout of the node records that follow `record` when it is a node
/// format record ("(3i8,6e16.9)", "(3i8,6e20.13)", "(3i9,6e20.13)",
/// "(3i9,6e21.13e..."); nothing for any other record.
std::optional<Layout> NodeFormatOf(std::string_view record);

/// The node formats the run reads, as a refusal lists them: "(3i8,6e16.9),
/// ..., or (3i9,6e21.13e...)", a format known by its first columns alone
/// ending in "...)".
std::string NodeFormatList();

/// Reads a node record of `layout`, one that NodeFormatOf gives, as
/// ReadFixedFields does, with the reads of the layout written out.
[[nodiscard]] bool ReadNodeFields(std::string_view record, Layout layout,
                                  std::span<const ReadItem, 6> items);
