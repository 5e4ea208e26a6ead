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

// The fields of a "D," record: node, label, value.
class ConstraintFields {
 public:
  explicit ConstraintFields(std::string_view record) {
    const ReadItem items[] = {std::span<char>(line_buffer_), std::span<char>(node_),
                              std::span<char>(label_), std::span<char>(value_)};
    // A read of text fields only cannot fail (its flag says nothing).
    static_cast<void>(ReadFixedFields(record, kConstraintLayout, items));
  }
  std::string_view node() const { return {node_.data(), node_.size()}; }
  std::string_view label() const { return {label_.data(), label_.size()}; }
  std::string_view value() const { return {value_.data(), value_.size()}; }

 private:
  std::array<char, kLineBufferLength> line_buffer_;
  std::array<char, 8> node_;
  std::array<char, 8> label_;
  std::array<char, 16> value_;
};

}  // namespace

bool ConvertConstraintRecord(std::string_view record, ConstraintRecord& out) {
  out = ConstraintRecord{};
  const LineBufferView command = LeadingColumns(record, kConstraintLayout[0].width);
  if (TextIs(command, "D,")) {
    const ConstraintFields fields(record);
    if (!TryTextToInteger(fields.node(), out.node)) return false;
    out.direction = DirectionOfLabel(fields.label());
    if (out.direction == 0) return true;
    if (!TryTextToReal(fields.value(), out.value)) return false;
    out.kind = ConstraintRecord::Kind::kDisplacement;
  } else if (TextIs(command, "FI")) {
    out.kind = ConstraintRecord::Kind::kEnd;
  }
  return true;
}

void RaiseForConstraintRecord(std::string_view record, std::int64_t record_offset) {
  NotingValueRecord(record_offset, [record] {
    const ConstraintFields fields(record);
    TextToInteger(fields.node());
    TextToReal(fields.value());
  });
  // Not reached: a refused record fails one of the two.
  RaiseValueDiagnostic(kInvalidReal, 0, {}, record_offset);
}

namespace {

// The records from the file's position up to the first one beginning "FI",
// converted on `jobs` threads in batches, applied in record order.
void ReadConstraintRecords(InputFile& model, RunTables& run, int jobs) {
  std::vector<ConstraintRecord> converted_records;
  ReadInBatches(model, jobs, SIZE_MAX,
                {.prepare = [&](std::size_t count) { converted_records.resize(count); },
                 .convert =
                     [&](BatchRecords records, std::size_t begin, std::size_t end) {
                       for (std::size_t k = begin; k < end; ++k) {
                         if (!ConvertConstraintRecord(records[k], converted_records[k])) return k;
                       }
                       return end;
                     },
                 .take =
                     [&](BatchRecords records, std::size_t converted) {
                       for (std::size_t k = 0; k < converted; ++k) {
                         const ConstraintRecord& c = converted_records[k];
                         if (c.kind == ConstraintRecord::Kind::kEnd)
                           return BatchTaken{k + 1, false, true};
                         if (c.kind == ConstraintRecord::Kind::kDisplacement) {
                           SetNodeDisplacement(run, c.node, c.direction, c.value);
                           ++run.Notes.displacements_taken;
                         }
                       }
                       return ConvertedRecordsTaken(records, converted);
                     },
                 // Read again by itself, as the pass does when the file ends or the
                 // conversion refused the record: the end of the file's diagnostic,
                 // or the node's, or else the value's.
                 .read_alone =
                     [&] {
                       const std::string_view record = model.ReadRecord();
                       RaiseForConstraintRecord(record,
                                                static_cast<std::int64_t>(model.record_offset()));
                     }});
}

// The condition of triangle t from the displacements of its corners: its
// constrained corners counted, then kind and value, direction by direction.
// The count serves this triangle alone and is not kept; the value of a
// traction condition is the zero the table was allocated with.
[[gnu::always_inline]] inline void SetTriangleCondition(RunTables& run, std::int32_t t) {
  const std::int32_t* corners = run.TriangleNodes.Column(t);
  const double* u[3] = {run.NodeDisplacements.Column(corners[0]),
                        run.NodeDisplacements.Column(corners[1]),
                        run.NodeDisplacements.Column(corners[2])};
  std::int32_t* kinds = run.TriangleBcKinds.Column(t);
  double* values = run.TriangleBcValues.Column(t);
  for (int d = 0; d < 3; ++d) {
    std::int32_t count = 0;
    // NaN differs from kNotGiven and counts as given.
    for (const double* corner : u) count += !(corner[d] == kNotGiven);
    const bool prescribed = count == 3;
    kinds[d] = prescribed ? kDisplacementPrescribed : kTractionPrescribed;
    if (prescribed) values[d] = ((u[0][d] + u[1][d]) + u[2][d]) / 3.0;
  }
}

}  // namespace

void ReadDisplacementConstraints(InputFile& model, RunTables& run, int jobs) {
  ClearNodeDisplacements(run, jobs);
  if (run.HasDisplacements) ReadConstraintRecords(model, run, jobs);
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
  ForEachPiece(jobs, count, [&](std::size_t begin, std::size_t end) {
    PreparePagesForWriting(values + begin, (end - begin) * sizeof(double));
    std::fill(values + begin, values + end, kNotGiven);
  });
}

void SetTriangleConditions(RunTables& run, int jobs) {
  // The triangles made: their constrained corners counted, then the
  // condition, in one sweep, since a triangle's condition depends on its own
  // corners only. What the kinds and values hold afterwards is what
  // defaults, counting and conditions give one after the other.
  const auto conditions = [&run](std::size_t part_begin, std::size_t part_end) {
    const auto first = static_cast<std::int32_t>(part_begin) + 1;
    const auto last = static_cast<std::int32_t>(part_end);
    // The kinds' pages are new: readied in one call. The values' pages are
    // written only where a displacement is prescribed.
    PrepareColumns(run.TriangleBcKinds, first, last);
    for (std::int32_t t = first; t <= last; ++t) SetTriangleCondition(run, t);
  };
  const std::size_t triangles = static_cast<std::size_t>(std::max(run.TriangleCount, 0));
  ForEachPiece(jobs, triangles, conditions);
  // The condition columns beyond the triangles made are left as allocated:
  // no reader or writer goes past TriangleCount (the pressure pass loads
  // only triangles that elements made), so none of them reaches an output,
  // and pages never touched cost no memory.
}

void RefuseConstrainedRotatedNodes(const RunTables& run) {
  for (const auto& [node, shown] : run.Notes.rotated_nodes) {
    if (node < 1 || node > run.NodeCount) continue;
    const double* u = run.NodeDisplacements.Column(node);
    int first = -1;
    bool fixed = true;
    for (int d = 0; d < 3; ++d) {
      const bool given = !(u[d] == kNotGiven);
      if (given && first < 0) first = d;
      fixed = fixed && given && u[d] == 0.0;
    }
    if (first >= 0 && !fixed) {
      StopWithModelError(RotatedNodeConstrained(shown, first + 1),
                         {.rule = StopRule::kRotatedNode, .node = shown, .direction = first + 1});
    }
  }
}
