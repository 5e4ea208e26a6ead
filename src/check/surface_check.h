// The model check: figures of the boundary surface and its conditions, and
// the first instances of each finding, computed from the run's tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/run_tables.h"

/// Bits of the per-triangle finding mask.
inline constexpr std::uint8_t kDegenerateTriangleFlag = 1;
inline constexpr std::uint8_t kOrientationConflictFlag = 2;

/// An edge (node pair, smaller first) with the triangles that use it, in
/// triangle order.
struct EdgeInstance {
  std::int32_t nodes[2];
  std::vector<std::int32_t> triangles;
};

/// A triangle with its corners.
struct TriangleInstance {
  std::int32_t triangle;
  std::int32_t nodes[3];
};

/// Boundary nodes that share exactly the same coordinates.
struct CoincidentGroup {
  std::vector<std::int32_t> nodes;  // ascending
  double x, y, z;
};

/// A piece of the surface connected through shared edges.
struct ShellInstance {
  std::int32_t first_triangle;
  std::int64_t triangle_count;
  bool closed;
  double volume;  // of a closed shell; 0 for an open one
};

/// The element records of one ANSYS element (all local types naming it).
struct ElementUse {
  std::string name;  // "SHELL181"
  ElementClass element_class;
  std::int64_t elements;
};

/// How many instances of each kind of finding are kept.
inline constexpr std::size_t kInstanceLimit = 10;

struct SurfaceFindings {
  std::int64_t nodes = 0;
  std::int64_t elements = 0;
  std::int64_t triangles = 0;
  std::int64_t field_points = 0;
  std::int64_t field_cells = 0;
  std::int64_t element_types = 0;  // defined local types that element records name
  std::int64_t displacement_triangles = 0;
  std::int64_t traction_triangles = 0;  // of traction kind in some direction, zero or not
  std::int64_t loaded_triangles = 0;    // a traction that is not zero in some direction
  std::int64_t loaded_elements = 0;
  std::int64_t open_edges = 0;
  std::int64_t non_manifold_edges = 0;
  std::int64_t orientation_conflicts = 0;
  std::int64_t shells = 0;
  std::int64_t closed_shells = 0;
  double enclosed_volume = 0.0;
  std::int64_t degenerate_triangles = 0;
  std::int64_t coincident_nodes = 0;
  std::int64_t unused_nodes = 0;
  std::int64_t problems = 0;
  PressureFigures pressures;
  bool volume_not_positive = false;  // a closed shell exists and the volume is <= 0
  bool no_displacement = false;      // no triangle has a displacement condition

  // The first instances of each finding (at most kInstanceLimit each), edges
  // in node order, triangles, nodes and shells in number order.
  std::vector<EdgeInstance> open_edge_list;
  std::vector<EdgeInstance> non_manifold_edge_list;
  std::vector<EdgeInstance> orientation_conflict_list;
  std::vector<TriangleInstance> degenerate_triangle_list;
  std::vector<CoincidentGroup> coincident_group_list;
  std::int64_t coincident_groups = 0;
  std::vector<std::int32_t> unused_node_list;
  std::vector<ShellInstance> shell_list;
  // The ANSYS elements the records name, in the order of their first type;
  // and how many records name a local type the model does not define.
  std::vector<ElementUse> element_uses;
  std::int64_t elements_of_undefined_type = 0;

  /// The element each triangle was made from (index t - 1; 0 when no
  /// element row names it).
  std::vector<std::int32_t> triangle_elements;

  /// Per-triangle finding mask (index t - 1 for triangle t):
  /// kDegenerateTriangleFlag, kOrientationConflictFlag.
  std::vector<std::uint8_t> triangle_flags;
};

/// Checks the surface and conditions that the run's tables hold.
SurfaceFindings CheckSurface(const RunTables& run);
