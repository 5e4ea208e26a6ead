// Allocation of the run's ten tables from its counts.
#include "model/run_tables.h"

#include <type_traits>

#include "textio/diagnostics.h"

namespace {

void AllocateTable(auto& table, std::int64_t rows, std::int64_t columns, bool zeroed = false) {
  if (rows < 0) rows = 0;
  if (columns < 0) columns = 0;
  using Item = std::remove_reference_t<decltype(table(1, 1))>;
  const std::int64_t column_bytes = rows * static_cast<std::int64_t>(sizeof(Item));
  if (column_bytes != 0 && columns > std::int64_t{4294967295} / column_bytes) {
    RaiseDiagnostic(kArraySizeOverflow);
  }
  if (!table.Allocate(rows, columns, zeroed)) RaiseDiagnostic(kInsufficientMemory);
}

}  // namespace

void AllocateTables(RunTables& run) {
  const std::int64_t nodes = run.NodeCount;
  const std::int64_t triangles = 2 * std::int64_t{run.ElementCount};
  AllocateTable(run.NodeCoords, 3, nodes);
  AllocateTable(run.TriangleNodes, 3, triangles);
  // Zero marks an element that no boundary-element record carried.
  AllocateTable(run.ElementTriangles, run.ElementCount, 2, /*zeroed=*/true);
  // Zero is every triangle's value until a condition or a pressure sets
  // it: the pages that none of them writes are never touched.
  AllocateTable(run.TriangleBcValues, 3, triangles, /*zeroed=*/true);
  AllocateTable(run.TriangleBcKinds, 3, triangles);
  AllocateTable(run.NodeDisplacements, 3, nodes);
  // Allocated with the others, so that a model needs the same memory and
  // meets the same limits, but not filled: the counts serve only the
  // condition of their own triangle, and are counted as it is set.
  AllocateTable(run.TriangleConstraintCounts, 3, triangles);
  AllocateTable(run.FieldPointCoords, 3, run.FieldPointCount);
  AllocateTable(run.FieldCellNodes, 4, run.FieldCellCount);
  AllocateTable(run.ElementLoaded, run.ElementCount, 1, /*zeroed=*/true);
}
