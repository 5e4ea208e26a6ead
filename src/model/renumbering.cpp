#include "model/renumbering.h"

#include <optional>
#include <vector>

#include "model/element_block.h"
#include "model/pressure_loads.h"
#include "textio/diagnostics.h"

namespace {

// The element records as surface elements, in file order: a type that is no
// surface element, a node count that is none, then a refused corner.
void CheckSurfaceRecords(const ModelRecords& records, const ModelIndex& index) {
  for (std::int64_t i = 0; i < records.element_count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    const std::int32_t number = records.element_numbers[k];
    RefuseElementOfType(records.types, number, records.element_types[k]);
    const std::int32_t nodes = records.element_node_counts[k];
    if (nodes == 1 || nodes == 2 || nodes > 8) {
      StopWithModelError(ElementNotSurface(number, nodes), {.rule = StopRule::kNodesNotSurface,
                                                            .element = number,
                                                            .itype = records.element_types[k]});
    }
    std::int32_t corners[4];
    SurfaceCorners(records, i, corners);
    for (const std::int32_t corner : corners) CheckCorner(records, index, i, corner);
  }
}

}  // namespace

void BuildRenumberedModel(const ModelRecords& records, RunTables& run, SurfaceOrigins& origins,
                          int jobs) {
  ModelIndex index;
  IndexModel(records, index);
  CheckSurfaceRecords(records, index);

  SurfaceModel surface;
  surface.new_node_number.assign(records.node_numbers.size(), 0);
  for (const std::int32_t p : index.nodes.PositionsByNumber()) {
    if (index.field_point_of[static_cast<std::size_t>(p)] != 0) continue;
    surface.nodes.push_back(p);
    surface.new_node_number[static_cast<std::size_t>(p)] =
        static_cast<std::int32_t>(surface.nodes.size());
  }
  const auto node_count = static_cast<std::int32_t>(surface.nodes.size());
  for (std::size_t j = 0; j < index.field_points.size(); ++j) {
    surface.new_node_number[static_cast<std::size_t>(index.field_points[j])] =
        node_count + static_cast<std::int32_t>(j + 1);
  }

  std::vector<std::int32_t> new_element_number(records.element_numbers.size(), 0);
  for (const std::int32_t i : index.elements.PositionsByNumber()) {
    if (index.is_field_cell[static_cast<std::size_t>(i)]) continue;
    std::int32_t corners[4];
    SurfaceCorners(records, i, corners);
    for (const std::int32_t corner : corners) {
      const auto p = static_cast<std::size_t>(index.nodes.Find(corner));
      surface.corners.push_back(surface.new_node_number[p]);
    }
    origins.element_numbers.push_back(records.element_numbers[static_cast<std::size_t>(i)]);
    new_element_number[static_cast<std::size_t>(i)] =
        static_cast<std::int32_t>(origins.element_numbers.size());
  }
  const auto element_count = static_cast<std::int32_t>(origins.element_numbers.size());
  for (std::size_t c = 0; c < index.field_cells.size(); ++c) {
    new_element_number[static_cast<std::size_t>(index.field_cells[c])] =
        element_count + static_cast<std::int32_t>(c + 1);
  }
  surface.pressure_on = [&](const PressureValues& pressure) -> std::optional<SurfacePressure> {
    const std::int64_t i = index.elements.Find(pressure.element);
    if (i < 0) return std::nullopt;
    return SurfacePressure{new_element_number[static_cast<std::size_t>(i)], pressure.key,
                           MeanPressure(pressure.values)};
  };
  surface.constraint_dropped_why = kConstraintsOffTheModel;
  surface.pressure_dropped_why = kPressuresOffTheModel;
  FillSurfaceTables(records, index, surface, run, jobs);

  CountReadTypes(records, std::vector<std::uint8_t>(records.element_numbers.size(), 1), run);

  origins.faces = false;
  origins.element_faces.assign(origins.element_numbers.size(), 0);
  NoteNodeOrigins(records, index, surface, origins);
}
