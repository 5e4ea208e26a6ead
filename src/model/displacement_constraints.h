// Displacement constraints: defaults and per-triangle displacement conditions.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/run_tables.h"
#include "textio/input_file.h"

/// With HasDisplacements reads the "D," records up to the first record
/// beginning "FI" (left after it); then gives every triangle made zero
/// traction in each direction, or, where its three corners are constrained
/// in a direction, the displacement condition with their mean value, on
/// `jobs` threads. The condition columns beyond TriangleCount are not set:
/// nothing reads them.
void ReadDisplacementConstraints(InputFile& model, RunTables& run, int jobs = 1);

/// The steps of ReadDisplacementConstraints, for a model built otherwise:
/// every node without a prescribed displacement,
void ClearNodeDisplacements(RunTables& run, int jobs = 1);
/// one displacement of `node` in `direction` (1 to 3), a node outside 1 to
/// NodeCount warned of and ignored,
void SetNodeDisplacement(RunTables& run, std::int32_t node, int direction, double value);
/// then the conditions of the triangles made.
void SetTriangleConditions(RunTables& run, int jobs = 1);

/// One record of the constraint pass as the pass takes it: a displacement,
/// the record that ends the pass (one beginning "FI"), or one that changes
/// nothing (a label other than UX, UY, UZ in columns 10 to 15 among them).
struct ConstraintRecord {
  enum class Kind : std::uint8_t { kNothing, kDisplacement, kEnd };
  Kind kind = Kind::kNothing;
  int direction = 0;
  std::int32_t node = 0;
  double value = 0.0;
};

/// Converts `record` as the constraint pass does; false for a "D," record
/// whose node text, or else value text, is no number.
[[nodiscard]] bool ConvertConstraintRecord(std::string_view record, ConstraintRecord& out);

/// Raises what the constraint pass raises for a record that
/// ConvertConstraintRecord refused: the node's diagnostic, or else the value's.
[[noreturn]] void RaiseForConstraintRecord(std::string_view record,
                                           std::int64_t record_offset = -1);

/// The direction of a D command's label: "UX", "UY", "UZ" give 1, 2, 3;
/// any other label 0.
int DisplacementDirection(std::string_view label);

/// Refuses the model (status 1, one line naming the node) when a boundary
/// node with rotated axes (Notes.rotated_nodes, the first in block order) has
/// a constraint in UX, UY or UZ, which would act along its own axes: unless
/// all three are given and all 0.0, a fixed node being fixed in any axes.
void RefuseConstrainedRotatedNodes(const RunTables& run);
