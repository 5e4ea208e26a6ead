// Element block: boundary triangles and field cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/run_tables.h"
#include "textio/input_file.h"

/// Finds the element format record, turns ElementCount element records into
/// triangles (TriangleNodes, ElementTriangles, TriangleCount) and reads
/// FieldCellCount field cells into FieldCellNodes, on `jobs` threads. An
/// element number or a
/// corner outside the tables ends the run. Leaves the file after the last
/// field-cell record.
void ReadElementBlock(InputFile& model, RunTables& run, int jobs = 1);

/// Cuts the quadrilateral I, J, K, L along its shorter diagonal: true when it
/// is cut along I-K, giving (I, J, K) and (I, K, L); false for J-L, giving
/// (I, J, L) and (J, K, L). Equal lengths and NaN cut along J-L.
bool CutAlongIK(const double* i, const double* j, const double* k, const double* l);

/// Makes the triangles of boundary element `number` with corners I, J, K, L
/// (a triangle when K equals L, else a quadrilateral cut along its shorter
/// diagonal), as the element block does: appended to TriangleNodes, recorded
/// in row `number` of ElementTriangles. A number or corner outside the
/// tables ends the run.
void AddSurfaceElement(RunTables& run, std::int32_t number, const std::int32_t corners[4]);

/// Refuses the model (status 1, one line naming the element) when the model
/// defines local type `itype` as an element that is no surface element.
void RefuseElementOfType(const ElementTypes& types, std::int32_t number, std::int32_t itype);

/// An element format record by its first columns, and the columns of each
/// field of the element records after it.
struct ElementFormat {
  std::string_view text;
  std::size_t width;
};
inline constexpr ElementFormat kElementFormats[] = {
    {"(19i8)", 8}, {"(19i9)", 9}, {"(19i10)", 10},  // current releases
};

/// Whether `record` is an element format record: one of kElementFormats in
/// its first columns.
bool IsElementFormat(std::string_view record);

/// The columns of each field of the element records after `record`: its
/// format's width for an element format record, 0 for any other record.
std::size_t ElementFieldWidth(std::string_view record);

/// The element formats the run reads, as a refusal lists them:
/// "(19i8), (19i9) or (19i10)".
std::string ElementFormatList();
