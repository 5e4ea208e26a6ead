// The whole model file read once into plain arrays, for the translations
// that build their surface model from it (renumbered, or the skin of a
// volume model) instead of reading it in place.
#pragma once

#include <cstdint>
#include <vector>

#include "model/element_types.h"
#include "model/model_notes.h"
#include "model/pressure_loads.h"
#include "textio/input_file.h"

/// A D command by its fields: node, direction (1 to 3 for UX, UY, UZ), value.
struct DisplacementCommand {
  std::int32_t node = 0;
  int direction = 0;
  double value = 0.0;
};

/// The most nodes of an element record.
inline constexpr int kMostElementNodes = 20;

struct ModelRecords {
  // The node records of every node block, in file order.
  std::vector<std::int32_t> node_numbers;
  std::vector<double> node_coords;                   // x, y, z of each node
  std::vector<std::int64_t> rotated_node_positions;  // records that rotate their node's axes
  bool has_node_block = false;

  // The element records, in file order: number, local type (the record's
  // 2nd value), node count (its 9th) and nodes. The nodes of element i are
  // element_nodes[node_begin[i]] up to node_begin[i + 1], as many as the
  // node count says (at most kMostElementNodes); a node the record lacks is 0.
  std::vector<std::int32_t> element_numbers;
  std::vector<std::int32_t> element_types;
  std::vector<std::int32_t> element_node_counts;
  std::vector<std::int32_t> element_materials;  // the record's 1st value
  std::vector<std::uint64_t> node_begin{0};
  std::vector<std::int32_t> element_nodes;
  bool has_element_block = false;

  // The values of the FIELDPOINTS and FIELDCELLS components: numbers, a
  // negative one ending a range that the number before it begins.
  std::vector<std::int32_t> field_point_values;
  std::vector<std::int32_t> field_cell_values;
  bool has_field_points = false;
  bool has_field_cells = false;

  ElementTypes types;
  std::vector<DisplacementCommand> displacements;  // UX, UY and UZ ones, in file order
  std::vector<PressureValues> pressures;           // in file order
  ModelNotes notes;  // the command records before the first record beginning "FINI"

  std::int64_t element_count() const { return static_cast<std::int64_t>(element_numbers.size()); }
  std::int64_t node_count() const { return static_cast<std::int64_t>(node_numbers.size()); }
  const std::int32_t* nodes_of(std::int64_t i) const {
    return element_nodes.data() + node_begin[static_cast<std::size_t>(i)];
  }
  int stored_nodes_of(std::int64_t i) const {
    const auto k = static_cast<std::size_t>(i);
    return static_cast<int>(node_begin[k + 1] - node_begin[k]);
  }
};

/// Reads the model file from its first record to the first record beginning
/// "FINISH" after a node block (a FINISH before the node block ends a part
/// of the file before the model, and the element types defined so far with
/// it); a file that ends before it was cut short, and raises the end-of-file
/// diagnostic. It reads, by the rules of the block rows (cdb_rows.h): the
/// element type records before the element block, the node block(s) after a
/// node format record and the element block(s) after an element format
/// record (each up to its closing record or a record that is no row), the
/// rows of the FIELDPOINTS and FIELDCELLS components, D commands as the
/// constraint pass reads them, and pressures (SFE records, pressure blocks).
/// Node and element records are converted on `jobs` threads. A value that
/// cannot be read raises the plain run's diagnostic.
void ReadModelRecords(InputFile& model, ModelRecords& records, int jobs = 1);
