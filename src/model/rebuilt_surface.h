// The engine the rebuilt models (--skin and --renumber) share: the model's
// numbers indexed, the corners of its elements checked, the field data, the
// surface model handed to the tables the plain run fills (triangles,
// displacement conditions, pressures), and where each item comes from.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "model/leave_out.h"
#include "model/model_records.h"
#include "model/run_tables.h"

/// Positions of numbers in a block, by number.
class NumberIndex {
 public:
  /// Indexes `numbers` (position p holds numbers[p]); returns a number given
  /// twice (the smallest), or nothing.
  std::optional<std::int32_t> Build(std::span<const std::int32_t> numbers);
  /// The position of `number`, or -1 when no position holds it.
  std::int64_t Find(std::int32_t number) const;
  /// Positions in increasing order of their numbers.
  std::vector<std::int32_t> PositionsByNumber() const;

 private:
  std::vector<std::pair<std::int32_t, std::int32_t>> sorted_;  // number, position
  std::vector<std::int32_t> direct_;                           // position by number - first_
  std::int64_t first_ = 0;
};

/// The model's nodes and elements by number, and which are field points and
/// field cells.
struct ModelIndex {
  NumberIndex nodes;
  NumberIndex elements;
  std::vector<std::int32_t> field_point_of;  // by node position: j from 1, or 0
  std::vector<std::int32_t> field_points;    // node positions, in block order
  std::vector<std::uint8_t> is_field_cell;   // by element position
  std::vector<std::int32_t> field_cells;     // element positions, in block order
};

/// Indexes the model read, refusing it (status 1, one line naming the
/// fault) when it has no node or element block, only one of the two field
/// components, or a node or element number given twice.
void IndexModel(const ModelRecords& records, ModelIndex& index);

/// Removes the elements of the local types in `left_out` from `records`,
/// field cells excepted: the element arrays keep the other elements, in
/// file order.
void LeaveOutElements(ModelRecords& records, const LeftOutTypes& left_out);

/// Refuses element `i` when corner `corner` (a node number) is 0, not in the
/// node block, or a field point; a field cell's corners must be field points.
void CheckCorner(const ModelRecords& records, const ModelIndex& index, std::int64_t i,
                 std::int32_t corner);

/// I, J, K, L of element record `i` as a surface element or field cell
/// takes them: its first four nodes, K twice for a three-node element.
void SurfaceCorners(const ModelRecords& records, std::int64_t i, std::int32_t corners[4]);

/// The fourth place of a triangle's sorted corner set.
inline constexpr std::uint32_t kNoCorner = 0xFFFFFFFFu;

/// The first `count` corners with every corner after its first occurrence
/// dropped, in order, into `out`: how many are left.
inline int DistinctCorners(const std::int32_t* corners, int count, std::int32_t out[4]) {
  int left = 0;
  for (int n = 0; n < count; ++n) {
    if (std::find(out, out + left, corners[n]) == out + left) out[left++] = corners[n];
  }
  return left;
}

/// The set of a face's `count` (3 or 4) distinct corners, as node positions
/// sorted, kNoCorner fourth for a triangle: equal for the faces that share
/// their corners.
inline std::array<std::uint32_t, 4> CornerSet(const std::int32_t* corners, int count) {
  std::array<std::uint32_t, 4> set = {kNoCorner, kNoCorner, kNoCorner, kNoCorner};
  for (int n = 0; n < count; ++n)
    set[static_cast<std::size_t>(n)] = static_cast<std::uint32_t>(corners[n]);
  std::sort(set.begin(), set.end());
  return set;
}

/// Where each item of the surface model comes from in the ANSYS model, for
/// the map file and the .vtu.
struct SurfaceOrigins {
  std::vector<std::int32_t> node_numbers;     // node i at i - 1, then the field points
  std::vector<std::int32_t> element_numbers;  // surface element k at k - 1
  std::vector<std::int8_t> element_faces;     // its face; 0 for the element itself
  std::vector<std::int32_t> field_cell_numbers;
  bool faces = false;  // the surface elements are faces (--skin)
  std::int64_t skin_faces = 0;
  std::int64_t interior_faces = 0;
};

/// A pressure as it goes to the surface model: element, key, value. One
/// whose key is no face pressure of its ANSYS element (`face_pressure`
/// false) is warned of by that element's number and key, and not applied.
struct SurfacePressure {
  std::int32_t element = 0;
  std::int32_t key = 0;
  double value = 0.0;
  bool face_pressure = true;
};

/// The surface model as a rebuilding translation makes it, before the tables.
struct SurfaceModel {
  std::vector<std::int32_t> nodes;  // node positions, by new number
  // By node position: the number a D command on it goes to; 0 drops it.
  std::vector<std::int32_t> new_node_number;
  std::vector<std::int32_t> corners;  // I, J, K, L of each element, new node numbers
  /// Where a pressure goes, or nothing when it is dropped.
  std::function<std::optional<SurfacePressure>(const PressureValues&)> pressure_on;
  // By element position, 1 for an element whose material is not the body's
  // (a surface-effect element's); empty when every element's is.
  std::vector<std::uint8_t> not_of_body;
  std::string_view constraint_dropped_why;
  std::string_view pressure_dropped_why;
};

/// Fills `run` with the surface model and the field data of `index`, through
/// the steps the plain run uses: triangles cut along the shorter diagonal,
/// displacement conditions, pressures. Field points get the node numbers
/// after the surface nodes. Constraints on nodes outside the surface model
/// and pressures `pressure_on` drops are counted in one warning line each.
void FillSurfaceTables(const ModelRecords& records, const ModelIndex& index,
                       const SurfaceModel& surface, RunTables& run, int jobs);

/// Counts the element records the mode read (`read[i]` not 0 for element
/// position i; field cells among them) under their local types in `run`,
/// for the check's figures.
void CountReadTypes(const ModelRecords& records, std::span<const std::uint8_t> read,
                    RunTables& run);

/// The ANSYS numbers of the surface model's nodes, its field points after
/// them, and of its field cells, into `origins`.
void NoteNodeOrigins(const ModelRecords& records, const ModelIndex& index,
                     const SurfaceModel& surface, SurfaceOrigins& origins);
