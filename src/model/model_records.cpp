#include "model/model_records.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "model/cdb_rows.h"
#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "textio/command_fields.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/number_read.h"
#include "threads/parallel_records.h"

namespace {

// How a batch whose parts converted its first `converted` records ends the
// block: at the batch's end it goes on (an empty batch, the end of the file,
// ends it); at a record of the block that failed, that record is read
// alone, which raises; at the block's closing record that record is taken
// and the block ends; at any other end the record is handed back.
BatchTaken TakeUpTo(BatchRecords records, std::size_t converted) {
  if (converted == records.size()) return {records.size(), false, records.empty()};
  switch (KindOfBlockRow(records[converted])) {
    case BlockRow::kRow:
      return {converted, true, false};
    case BlockRow::kEndTaken:
      return {converted + 1, false, true};
    case BlockRow::kEndHandedBack:
      break;
  }
  return {converted, false, true};
}

void ReadNodeRecords(InputFile& model, const NodeLayout& format, ModelRecords& out, int jobs) {
  const Layout layout = format.fields();
  std::size_t base = 0;  // the nodes before the batch
  std::vector<std::uint8_t> rotated;
  ReadInBatches(
      model, jobs, SIZE_MAX,
      {.prepare =
           [&](std::size_t count) {
             rotated.assign(count, 0);
             base = out.node_numbers.size();
             out.node_numbers.resize(base + count);
             out.node_coords.resize(3 * (base + count));
           },
       .convert =
           [&](BatchRecords records, std::size_t begin, std::size_t end) {
             for (std::size_t k = begin; k < end; ++k) {
               if (KindOfBlockRow(records[k]) != BlockRow::kRow) return k;
               std::int32_t unused = 0;
               double* xyz = out.node_coords.data() + 3 * (base + k);
               xyz[0] = xyz[1] = xyz[2] = 0.0;
               const ReadItem items[] = {
                   out.node_numbers[base + k], unused, unused, xyz[0], xyz[1], xyz[2]};
               if (!ReadNodeFields(records[k], layout, items)) return k;
               rotated[k] = format.RotatesAxes(records[k]);
             }
             return end;
           },
       .take =
           [&](BatchRecords records, std::size_t converted) {
             for (std::size_t k = 0; k < converted; ++k) {
               if (rotated[k] != 0)
                 out.rotated_node_positions.push_back(static_cast<std::int64_t>(base + k));
             }
             if (!records.empty()) {
               out.node_numbers.resize(base + converted);
               out.node_coords.resize(3 * (base + converted));
             }
             return TakeUpTo(records, converted);
           },
       .read_alone =
           [&] {
             // Read again alone, the record raises its diagnostic.
             std::int32_t number = 0;
             std::int32_t unused = 0;
             double xyz[3] = {0.0, 0.0, 0.0};
             ReadFixedRecord(model, layout, {number, unused, unused, xyz[0], xyz[1], xyz[2]});
             out.node_numbers.push_back(number);
             out.node_coords.insert(out.node_coords.end(), xyz, xyz + 3);
           }});
}

// The first record of an element: its first nineteen values.
struct FirstElementRecord {
  std::int32_t values[kElementRowValues];
  int count = 0;
  FreeFormStatus status = FreeFormStatus::kDone;
};

constexpr int kFirstRecordNodes = 8;

// Appends the element of `first`; true when its nodes go on in the next record.
bool AppendElement(const FirstElementRecord& first, const InputFile& model, ModelRecords& out) {
  if (first.status != FreeFormStatus::kDone) RaiseRowFailure(model, first.status);
  if (first.count < 11) {
    StopWithModelError(ElementRecordTooShort());
  }
  const std::int32_t node_count = first.values[8];
  const int stored = std::clamp(node_count, 0, kMostElementNodes);
  out.element_numbers.push_back(first.values[10]);
  out.element_types.push_back(first.values[1]);
  out.element_materials.push_back(first.values[0]);
  out.element_node_counts.push_back(node_count);
  const int on_first = std::min(stored, kFirstRecordNodes);
  for (int n = 0; n < on_first; ++n) {
    out.element_nodes.push_back(11 + n < first.count ? first.values[11 + n] : 0);
  }
  out.node_begin.push_back(out.element_nodes.size());
  return stored > kFirstRecordNodes;
}

// The nodes of the last element that its first record did not hold.
void AppendContinuation(std::string_view record, const InputFile& model, ModelRecords& out) {
  const int wanted =
      std::clamp(out.element_node_counts.back(), 0, kMostElementNodes) - kFirstRecordNodes;
  std::int32_t nodes[kMostElementNodes] = {};
  int count = 0;
  const FreeFormStatus status =
      ReadIntegerRow(record, std::span(nodes, static_cast<std::size_t>(wanted)), count);
  if (status != FreeFormStatus::kDone) RaiseRowFailure(model, status);
  out.element_nodes.insert(out.element_nodes.end(), nodes, nodes + wanted);
  out.node_begin.back() = out.element_nodes.size();
}

void ReadElementRecords(InputFile& model, std::size_t width, ModelRecords& out, int jobs) {
  std::vector<FirstElementRecord> firsts;
  bool continuation_next = false;  // the batch's first record continues an element
  bool short_last = false;         // the batch before ended in a row too short for an element
  ReadInBatches(model, jobs, SIZE_MAX,
                {.prepare = [&](std::size_t count) { firsts.resize(count); },
                 // Every record is read as an element's first record; those that turn
                 // out to continue the record before them are read again as that.
                 .convert =
                     [&](BatchRecords records, std::size_t begin, std::size_t end) {
                       for (std::size_t r = std::max<std::size_t>(begin, continuation_next);
                            r < end; ++r) {
                         if (KindOfBlockRow(records[r]) != BlockRow::kRow) return r;
                         firsts[r].status =
                             ReadElementRow(records[r], width, firsts[r].values, firsts[r].count);
                       }
                       return end;
                     },
                 .take =
                     [&](BatchRecords records, std::size_t converted) {
                       // A row too short for an element reads on, as a free-form read
                       // does: at the end of the file the model was cut short.
                       if (short_last) {
                         if (records.empty())
                           RaiseDiagnostic(kEndOfFile, model.unit(), model.path());
                         StopWithModelError(ElementRecordTooShort());
                       }
                       std::size_t k = 0;
                       if (continuation_next && !records.empty()) {
                         AppendContinuation(records[0], model, out);
                         continuation_next = false;
                         k = 1;
                       }
                       for (; k < converted; ++k) {
                         if (k + 1 == records.size() && firsts[k].count < 11 &&
                             firsts[k].status == FreeFormStatus::kDone) {
                           short_last = true;
                           return BatchTaken{k + 1, false, false};
                         }
                         if (!AppendElement(firsts[k], model, out)) continue;
                         if (k + 1 == records.size()) {
                           continuation_next = true;
                           return BatchTaken{records.size(), false, false};
                         }
                         AppendContinuation(records[++k], model, out);
                         // A continuation stood where the parts stopped: read on after it.
                         if (k == converted) return BatchTaken{k + 1, false, false};
                       }
                       return TakeUpTo(records, converted);
                     },
                 .read_alone = [] {}});
}

// The rows of a component after its format record, up to the first record
// that is no row, which is handed back: numbers, and "n -m" for n to m.
std::string_view ReadComponentRows(InputFile& model, std::vector<std::int32_t>& values) {
  model.ReadRecord();  // the component's format record
  std::vector<std::int32_t> row;
  for (;;) {
    const std::string_view record = model.ReadRecord();
    if (KindOfBlockRow(record) != BlockRow::kRow) return record;
    // A value takes at least one character and its separator.
    row.resize(record.size() / 2 + 1);
    int taken = 0;
    const FreeFormStatus status = ReadIntegerRow(record, row, taken);
    if (status != FreeFormStatus::kDone) RaiseRowFailure(model, status);
    values.insert(values.end(), row.begin(), row.begin() + taken);
  }
}

// A component's record; what its rows hand back, when they are read.
std::optional<std::string_view> ReadComponent(InputFile& model, std::string_view record,
                                              ModelRecords& out) {
  const std::string_view name = Trimmed(CommandField(record, 1));
  const bool points = name == "FIELDPOINTS";
  if (!points && name != "FIELDCELLS") return std::nullopt;
  std::vector<std::int32_t> values;
  const std::string_view next = ReadComponentRows(model, values);
  (points ? out.field_point_values : out.field_cell_values) = std::move(values);
  (points ? out.has_field_points : out.has_field_cells) = true;
  return next;
}

// A D command as the constraint pass reads it, its fields in their columns;
// a node number too wide for them moves the label out of its columns, and
// the record is then read by its command fields.
void ReadDisplacement(std::string_view record, ModelRecords& out) {
  ConstraintRecord row;
  if (!ConvertConstraintRecord(record, row)) RaiseForConstraintRecord(record);
  if (row.kind == ConstraintRecord::Kind::kDisplacement) {
    out.displacements.push_back({row.node, row.direction, row.value});
    return;
  }
  const std::vector<std::string_view> fields = CommandFields(record);
  const int direction = DisplacementDirection(Trimmed(FieldAt(fields, 2)));
  if (direction == 0) return;
  const std::int32_t node = TextToInteger(Trimmed(FieldAt(fields, 1)));
  out.displacements.push_back({node, direction, TextToReal(Trimmed(FieldAt(fields, 3)))});
}

}  // namespace

void ReadModelRecords(InputFile& model, ModelRecords& out, int jobs) {
  const PressureSink keep = [&out](const PressureValues& pressure) {
    out.pressures.push_back(pressure);
  };
  std::string_view record;
  std::optional<std::string_view> pending;
  bool notes_ended = false;
  bool follows_nblock = false;
  for (;;) {
    if (pending) {
      record = *pending;
      pending.reset();
    } else if (!model.NextRecord(record)) {
      // The model ends in a FINISH record after its nodes: a file without
      // one was cut short.
      RaiseDiagnostic(kEndOfFile, model.unit(), model.path());
    }
    const bool nblock = std::exchange(follows_nblock, record.starts_with("NBLOCK"));
    if (!out.types.ended()) out.types.Take(record);
    if (!notes_ended) {
      notes_ended = record.starts_with("FINI");
      if (!notes_ended) NoteCommandRecord(record, out.notes);
    }
    if (record.starts_with("FINISH")) {
      if (out.has_node_block) return;
      // A part of the file before the model (geometry, say) ends in its own
      // FINISH: the model and its types come after it.
      out.types = ElementTypes();
      continue;
    }
    if (const std::optional<NodeLayout> layout = NodeFormatOf(record, nblock)) {
      out.has_node_block = true;
      ReadNodeRecords(model, *layout, out, jobs);
    } else if (const std::size_t width = ElementFieldWidth(record); width != 0) {
      out.has_element_block = true;
      ReadElementRecords(model, width, out, jobs);
    } else if (record.starts_with("CMBLOCK,")) {
      pending = ReadComponent(model, record, out);
    } else if (record.starts_with("D,")) {
      NotingValueRecord(static_cast<std::int64_t>(model.record_offset()),
                        [&] { ReadDisplacement(record, out); });
    } else if (BeginsPressures(record)) {
      pending = ReadPressures(model, record, keep);
    }
  }
}
