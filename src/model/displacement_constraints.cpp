#include "model/displacement_constraints.h"

#include <algorithm>
#include <array>

#include "system/memory.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/number_read.h"
#include "threads/parallel_records.h"

namespace {

int DirectionOfLabel(std::string_view label) {
  if (label == ",UX  ,  ") return 1;
  if (label == ",UY  ,  ") return 2;
  if (label == ",UZ  ,  ") return 3;
  return 0;
}

}  // namespace

int DisplacementDirection(std::string_view label) {
  if (label == "UX") return 1;
  if (label == "UY") return 2;
  if (label == "UZ") return 3;
  return 0;
}

void SetNodeDisplacement(RunTables& run, std::int32_t node, int direction, double value) {
  if (node < 1 || node > run.NodeCount) {
    PrintWarning(ConstraintNodeIgnored(node, run.NodeCount));
    return;
  }
  run.NodeDisplacements(direction, node) = value;
}

namespace {

static_assert(HoldsOnlyTextFields(kConstraintLayout));

void ReadConstraintRecords(InputFile& model, RunTables& run) {
  std::array<char, kLineBufferLength> line_buffer;
  std::array<char, 8> node_text;
  std::array<char, 8> label_text;
  std::array<char, 16> value_text;
  const ReadItem items[] = {std::span<char>(line_buffer), std::span<char>(node_text),
                            std::span<char>(label_text), std::span<char>(value_text)};
  for (;;) {
    // The command fields are taken only from the records they matter for.
    const std::string_view record = model.ReadRecord();
    const LineBufferView command = LeadingColumns(record, kConstraintLayout[0].width);
    if (TextIs(command, "D,")) {
      // A read of text fields only cannot fail (its flag says nothing).
      static_cast<void>(ReadFixedFields(record, kConstraintLayout, items));
      const std::int32_t node = TextToInteger(std::string_view(node_text.data(), node_text.size()));
      const int direction =
          DirectionOfLabel(std::string_view(label_text.data(), label_text.size()));
      if (direction == 0) continue;
      const double value = TextToReal(std::string_view(value_text.data(), value_text.size()));
      SetNodeDisplacement(run, node, direction, value);
    } else if (TextIs(command, "FI")) {
      return;
    }
  }
}

// The condition of triangle t from the displacements of its corners: its
// constrained corners counted, then kind and value, direction by direction.
void SetTriangleCondition(RunTables& run, std::int32_t t) {
  const std::int32_t* corners = run.TriangleNodes.Column(t);
  const double* u[3] = {run.NodeDisplacements.Column(corners[0]),
                        run.NodeDisplacements.Column(corners[1]),
                        run.NodeDisplacements.Column(corners[2])};
  std::int32_t* counts = run.TriangleConstraintCounts.Column(t);
  std::int32_t* kinds = run.TriangleBcKinds.Column(t);
  double* values = run.TriangleBcValues.Column(t);
  for (int d = 0; d < 3; ++d) {
    std::int32_t count = 0;
    // NaN differs from kNotGiven and counts as given.
    for (const double* corner : u) count += !(corner[d] == kNotGiven);
    counts[d] = count;
    const bool prescribed = count == 3;
    kinds[d] = prescribed ? kDisplacementPrescribed : kTractionPrescribed;
    values[d] = prescribed ? ((u[0][d] + u[1][d]) + u[2][d]) / 3.0 : 0.0;
  }
}

}  // namespace

void ReadDisplacementConstraints(InputFile& model, RunTables& run, int jobs) {
  ClearNodeDisplacements(run, jobs);
  if (run.HasDisplacements) ReadConstraintRecords(model, run);
  SetTriangleConditions(run, jobs);
}

namespace {

// Readies the pages of `table`'s columns [first, last] for their first
// writes, in one call.
template <class T>
void PrepareColumns(Table2D<T>& table, std::int32_t first, std::int32_t last) {
  if (last < first) return;
  PreparePagesForWriting(table.Column(first), static_cast<std::size_t>(last - first + 1) *
                                                  static_cast<std::size_t>(table.rows()) *
                                                  sizeof(T));
}

}  // namespace

void ClearNodeDisplacements(RunTables& run, int jobs) {
  // The table's pages are new: each thread readies and fills its own part.
  double* const values = run.NodeDisplacements.data();
  const auto count = static_cast<std::size_t>(run.NodeDisplacements.size());
  ForEachPart(jobs, count, [&](int, std::size_t begin, std::size_t end) {
    PreparePagesForWriting(values + begin, (end - begin) * sizeof(double));
    std::fill(values + begin, values + end, kNotGiven);
  });
}

void SetTriangleConditions(RunTables& run, int jobs) {
  // The triangles made: their constrained corners counted, then the
  // condition, in one sweep, since a triangle's condition depends on its own
  // corners only. What the tables hold afterwards is what defaults, counting
  // and conditions give one after the other.
  const auto conditions = [&run](std::size_t part_begin, std::size_t part_end) {
    const auto first = static_cast<std::int32_t>(part_begin) + 1;
    const auto last = static_cast<std::int32_t>(part_end);
    // The condition tables' pages are new: readied in one call per table.
    PrepareColumns(run.TriangleConstraintCounts, first, last);
    PrepareColumns(run.TriangleBcKinds, first, last);
    PrepareColumns(run.TriangleBcValues, first, last);
    for (std::int32_t t = first; t <= last; ++t) SetTriangleCondition(run, t);
  };
  const std::size_t triangles = static_cast<std::size_t>(std::max(run.TriangleCount, 0));
  if (jobs > 1) {
    ForEachPart(jobs, triangles,
                [&](int, std::size_t begin, std::size_t end) { conditions(begin, end); });
  } else {
    conditions(0, triangles);
  }
  // The condition columns beyond the triangles made are left as allocated:
  // no reader or writer goes past TriangleCount (the pressure pass loads
  // only triangles that elements made), so none of them reaches an output,
  // and pages never touched cost no memory.
}
