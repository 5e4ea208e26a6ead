#include "model/rebuilt_surface.h"

#include <algorithm>
#include <string_view>

#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/pressure_loads.h"
#include "textio/diagnostics.h"

std::optional<std::int32_t> NumberIndex::Build(std::span<const std::int32_t> numbers) {
  sorted_.resize(numbers.size());
  for (std::size_t p = 0; p < numbers.size(); ++p) {
    sorted_[p] = {numbers[p], static_cast<std::int32_t>(p)};
  }
  std::sort(sorted_.begin(), sorted_.end());
  direct_.clear();
  for (std::size_t k = 1; k < sorted_.size(); ++k) {
    if (sorted_[k].first == sorted_[k - 1].first) return sorted_[k].first;
  }
  if (sorted_.empty()) return std::nullopt;
  // Numbers that fill most of their range are looked up directly.
  first_ = sorted_.front().first;
  const std::int64_t span = std::int64_t{sorted_.back().first} - first_ + 1;
  if (span <= 2 * static_cast<std::int64_t>(sorted_.size()) + 1024) {
    direct_.assign(static_cast<std::size_t>(span), -1);
    for (const auto& [number, position] : sorted_) {
      direct_[static_cast<std::size_t>(number - first_)] = position;
    }
  }
  return std::nullopt;
}

std::int64_t NumberIndex::Find(std::int32_t number) const {
  if (!direct_.empty()) {
    const std::int64_t k = std::int64_t{number} - first_;
    return k < 0 || k >= static_cast<std::int64_t>(direct_.size())
               ? -1
               : direct_[static_cast<std::size_t>(k)];
  }
  const auto found = std::lower_bound(sorted_.begin(), sorted_.end(),
                                      std::pair<std::int32_t, std::int32_t>{number, -1});
  return found != sorted_.end() && found->first == number ? found->second : -1;
}

std::vector<std::int32_t> NumberIndex::PositionsByNumber() const {
  std::vector<std::int32_t> positions(sorted_.size());
  for (std::size_t k = 0; k < sorted_.size(); ++k) positions[k] = sorted_[k].second;
  return positions;
}

namespace {

// The numbers a component names: its numbers, and the ranges a negative
// number ends (from the number before it to the negative one's magnitude).
std::vector<std::pair<std::int64_t, std::int64_t>> ComponentRanges(
    const std::vector<std::int32_t>& values) {
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  for (const std::int32_t value : values) {
    if (value >= 0 || ranges.empty()) {
      ranges.emplace_back(value, value);
    } else {
      ranges.back().second = -std::int64_t{value};
    }
  }
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

// Marks the members of a component among `numbers`: their rank from 1 in
// block order at their position, and their positions in that order.
void MarkMembers(const std::vector<std::int32_t>& values, const std::vector<std::int32_t>& numbers,
                 std::vector<std::int32_t>& rank_of, std::vector<std::int32_t>& members) {
  rank_of.assign(numbers.size(), 0);
  members.clear();
  if (values.empty()) return;
  auto ranges = ComponentRanges(values);
  // Merged, so that a number is in the ranges when it is in the last one
  // beginning at or before it.
  std::vector<std::pair<std::int64_t, std::int64_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().second + 1) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  for (std::size_t p = 0; p < numbers.size(); ++p) {
    auto end = std::upper_bound(merged.begin(), merged.end(),
                                std::pair<std::int64_t, std::int64_t>{numbers[p], INT64_MAX});
    if (end != merged.begin() && numbers[p] <= std::prev(end)->second) {
      members.push_back(static_cast<std::int32_t>(p));
      rank_of[p] = static_cast<std::int32_t>(members.size());
    }
  }
}

}  // namespace

void IndexModel(const ModelRecords& records, ModelIndex& index) {
  if (!records.has_node_block) StopWithModelError(NoModelBlock("node block"));
  if (!records.has_element_block) StopWithModelError(NoModelBlock("element block"));
  if (records.has_field_points && !records.has_field_cells) {
    StopWithModelError(FieldComponentAlone("FIELDPOINTS", "FIELDCELLS"));
  }
  if (records.has_field_cells && !records.has_field_points) {
    StopWithModelError(FieldComponentAlone("FIELDCELLS", "FIELDPOINTS"));
  }
  if (const auto twice = index.nodes.Build(records.node_numbers)) {
    StopWithModelError(NumberGivenTwice("node", *twice));
  }
  if (const auto twice = index.elements.Build(records.element_numbers)) {
    StopWithModelError(NumberGivenTwice("element", *twice));
  }
  MarkMembers(records.field_point_values, records.node_numbers, index.field_point_of,
              index.field_points);
  std::vector<std::int32_t> cell_rank;
  MarkMembers(records.field_cell_values, records.element_numbers, cell_rank, index.field_cells);
  index.is_field_cell.assign(cell_rank.size(), 0);
  for (std::size_t i = 0; i < cell_rank.size(); ++i) index.is_field_cell[i] = cell_rank[i] != 0;
}

void LeaveOutElements(ModelRecords& records, const LeftOutTypes& left_out) {
  std::vector<std::int32_t> cell_rank;
  std::vector<std::int32_t> cells;
  MarkMembers(records.field_cell_values, records.element_numbers, cell_rank, cells);
  std::size_t kept = 0;
  std::uint64_t node_end = 0;
  for (std::size_t i = 0; i < records.element_numbers.size(); ++i) {
    const std::uint64_t begin = records.node_begin[i];
    const std::uint64_t end = records.node_begin[i + 1];
    if (cell_rank[i] == 0 && left_out.Contains(records.element_types[i])) continue;
    records.element_numbers[kept] = records.element_numbers[i];
    records.element_types[kept] = records.element_types[i];
    records.element_node_counts[kept] = records.element_node_counts[i];
    records.element_materials[kept] = records.element_materials[i];
    std::copy(records.element_nodes.begin() + static_cast<std::ptrdiff_t>(begin),
              records.element_nodes.begin() + static_cast<std::ptrdiff_t>(end),
              records.element_nodes.begin() + static_cast<std::ptrdiff_t>(node_end));
    node_end += end - begin;
    records.node_begin[++kept] = node_end;
  }
  records.element_numbers.resize(kept);
  records.element_types.resize(kept);
  records.element_node_counts.resize(kept);
  records.element_materials.resize(kept);
  records.node_begin.resize(kept + 1);
  records.element_nodes.resize(node_end);
}

void CheckCorner(const ModelRecords& records, const ModelIndex& index, std::int64_t i,
                 std::int32_t corner) {
  const std::int32_t number = records.element_numbers[static_cast<std::size_t>(i)];
  const std::int64_t p = corner == 0 ? -1 : index.nodes.Find(corner);
  const bool field_point = p >= 0 && index.field_point_of[static_cast<std::size_t>(p)] != 0;
  const StopNote note{.rule = StopRule::kCornerRefused, .element = number, .node = corner};
  if (index.is_field_cell[static_cast<std::size_t>(i)]) {
    if (!field_point) {
      StopWithModelError(
          ElementCornerRefused("field cell", number, corner, ", which is not a field point"), note);
    }
    return;
  }
  if (corner == 0) StopWithModelError(ElementCornerRefused("element", number, corner, ""), note);
  if (p < 0) {
    StopWithModelError(
        ElementCornerRefused("element", number, corner, ", which is not in the node block"), note);
  }
  if (field_point) {
    StopWithModelError(ElementCornerRefused("element", number, corner, ", which is a field point"),
                       note);
  }
}

void SurfaceCorners(const ModelRecords& records, std::int64_t i, std::int32_t corners[4]) {
  const std::int32_t* nodes = records.nodes_of(i);
  const int stored = records.stored_nodes_of(i);
  for (int n = 0; n < 4; ++n) corners[n] = n < stored ? nodes[n] : 0;
  if (records.element_node_counts[static_cast<std::size_t>(i)] == 3) corners[3] = corners[2];
}

namespace {

// The notes of the model read, with the materials of its elements (field
// cells and elements not of the body aside) and its rotated surface nodes, named by their numbers.
// Every D command in UX, UY or UZ is taken by its fields.
void NoteSurfaceModel(const ModelRecords& records, const ModelIndex& index,
                      const SurfaceModel& surface, RunTables& run) {
  run.Notes = records.notes;
  run.Notes.displacements_taken = run.Notes.displacement_commands;
  for (std::size_t i = 0; i < records.element_materials.size(); ++i) {
    if (index.is_field_cell[i] || (!surface.not_of_body.empty() && surface.not_of_body[i] != 0)) {
      continue;
    }
    run.Notes.NoteMaterial(records.element_materials[i]);
  }
  for (const std::int64_t p : records.rotated_node_positions) {
    const std::int32_t node = surface.new_node_number[static_cast<std::size_t>(p)];
    if (node >= 1 && node <= run.NodeCount) {
      run.Notes.rotated_nodes.emplace_back(node, records.node_numbers[static_cast<std::size_t>(p)]);
    }
  }
}

}  // namespace

void FillSurfaceTables(const ModelRecords& records, const ModelIndex& index,
                       const SurfaceModel& surface, RunTables& run, int jobs) {
  run.NodeCount = static_cast<std::int32_t>(surface.nodes.size());
  run.ElementCount = static_cast<std::int32_t>(surface.corners.size() / 4);
  run.FieldPointCount = static_cast<std::int32_t>(index.field_points.size());
  run.FieldCellCount = static_cast<std::int32_t>(index.field_cells.size());
  run.HasDisplacements = !records.displacements.empty();
  run.HasPressures = !records.pressures.empty();
  AllocateTables(run);

  const double* coords = records.node_coords.data();
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    std::copy_n(coords + 3 * surface.nodes[static_cast<std::size_t>(i - 1)], 3,
                run.NodeCoords.Column(i));
  }
  for (std::int32_t j = 1; j <= run.FieldPointCount; ++j) {
    std::copy_n(coords + 3 * index.field_points[static_cast<std::size_t>(j - 1)], 3,
                run.FieldPointCoords.Column(j));
  }
  run.TriangleCount = 0;
  for (std::int32_t k = 1; k <= run.ElementCount; ++k) {
    AddSurfaceElement(run, k, surface.corners.data() + 4 * (k - 1));
  }
  for (std::int32_t c = 1; c <= run.FieldCellCount; ++c) {
    std::int32_t corners[4];
    SurfaceCorners(records, index.field_cells[static_cast<std::size_t>(c - 1)], corners);
    for (int n = 0; n < 4; ++n) {
      const std::int64_t p = index.nodes.Find(corners[n]);
      run.FieldCellNodes(n + 1, c) = index.field_point_of[static_cast<std::size_t>(p)];
    }
  }

  ClearNodeDisplacements(run, jobs);
  std::int64_t dropped = 0;
  for (const DisplacementCommand& d : records.displacements) {
    const std::int64_t p = index.nodes.Find(d.node);
    const std::int32_t node = p < 0 ? 0 : surface.new_node_number[static_cast<std::size_t>(p)];
    if (node == 0) {
      ++dropped;
    } else {
      SetNodeDisplacement(run, node, d.direction, d.value);
    }
  }
  if (dropped != 0) PrintWarning(ConstraintsDropped(dropped, surface.constraint_dropped_why));
  NoteSurfaceModel(records, index, surface, run);
  RefuseConstrainedRotatedNodes(run);
  SetTriangleConditions(run, jobs);

  dropped = 0;
  for (const PressureValues& pressure : records.pressures) {
    if (const std::optional<SurfacePressure> to = surface.pressure_on(pressure)) {
      if (to->face_pressure) {
        ApplyPressure(run, to->element, to->key, to->value);
      } else {
        IgnorePressureKey(run, pressure.element, pressure.key);
      }
    } else {
      ++dropped;
    }
  }
  if (dropped != 0) PrintWarning(PressuresDropped(dropped, surface.pressure_dropped_why));
}

void NoteNodeOrigins(const ModelRecords& records, const ModelIndex& index,
                     const SurfaceModel& surface, SurfaceOrigins& origins) {
  for (const std::int32_t p : surface.nodes) {
    origins.node_numbers.push_back(records.node_numbers[static_cast<std::size_t>(p)]);
  }
  for (const std::int32_t p : index.field_points) {
    origins.node_numbers.push_back(records.node_numbers[static_cast<std::size_t>(p)]);
  }
  for (const std::int32_t i : index.field_cells) {
    origins.field_cell_numbers.push_back(records.element_numbers[static_cast<std::size_t>(i)]);
  }
}

void CountReadTypes(const ModelRecords& records, std::span<const std::uint8_t> read,
                    RunTables& run) {
  run.Types = records.types;
  run.ElementsOfType.assign(run.Types.types().size(), 0);
  run.ElementsOfUndefinedType = 0;
  if (run.Types.empty()) return;
  for (std::size_t i = 0; i < read.size() && i < records.element_types.size(); ++i) {
    if (read[i] == 0) continue;
    const LocalElementType* type = run.Types.Find(records.element_types[i]);
    if (type == nullptr) {
      ++run.ElementsOfUndefinedType;
    } else {
      ++run.ElementsOfType[static_cast<std::size_t>(type - run.Types.types().data())];
    }
  }
}
