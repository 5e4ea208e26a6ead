#include "model/model_records.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "textio/column_integers.h"
#include "textio/command_fields.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/number_read.h"
#include "threads/parallel_records.h"

namespace {

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// The integers of `record`, separated by blanks or commas, up to `most` of
// them into `out`: how many were taken, or -1 when an item is no integer.
int TakeIntegers(std::string_view record, std::int32_t* out, int most) {
  int taken = 0;
  std::size_t k = 0;
  const std::size_t size = record.size();
  while (taken < most) {
    while (k < size && IsSeparator(record[k])) ++k;
    if (k == size) break;
    bool negative = false;
    if (record[k] == '-' || record[k] == '+') negative = record[k++] == '-';
    std::int64_t magnitude = 0;
    const std::size_t digits = k;
    for (; k < size && !IsSeparator(record[k]); ++k) {
      const char c = record[k];
      if (c < '0' || c > '9') return -1;
      magnitude = magnitude * 10 + (c - '0');
      if (magnitude > std::int64_t{2147483648}) return -1;
    }
    if (k == digits) return -1;
    if (negative) magnitude = -magnitude;
    if (magnitude > 2147483647) return -1;
    out[taken++] = static_cast<std::int32_t>(magnitude);
  }
  return taken;
}

// A record that ends a block: "-1" (taken), or a record that is no record of
// the block (handed back to be read as usual).
enum class BlockRecord : std::uint8_t { kRecord, kEndTaken, kEndHandedBack };

BlockRecord KindOfBlockRecord(std::string_view record) {
  const std::size_t first = record.find_first_not_of(" \t");
  if (first == std::string_view::npos) return BlockRecord::kEndHandedBack;
  const char c = record[first];
  if (c == '-' && record.substr(first, 2) == "-1" &&
      (first + 2 == record.size() || IsSeparator(record[first + 2]))) {
    return BlockRecord::kEndTaken;
  }
  if (record.starts_with("N,")) return BlockRecord::kEndTaken;
  return (c >= '0' && c <= '9') || c == '-' || c == '+' ? BlockRecord::kRecord
                                                        : BlockRecord::kEndHandedBack;
}

// How a batch whose parts converted its first `converted` records ends the
// block: at the batch's end it goes on (an empty batch, the end of the file,
// ends it); at a record of the block that failed, that record is read
// alone, which raises; at a record "-1" that record is taken and the
// block ends; at any other end the record is handed back.
BatchTaken TakeUpTo(BatchRecords records, std::size_t converted) {
  if (converted == records.size()) return {records.size(), false, records.empty()};
  switch (KindOfBlockRecord(records[converted])) {
    case BlockRecord::kRecord:
      return {converted, true, false};
    case BlockRecord::kEndTaken:
      return {converted + 1, false, true};
    case BlockRecord::kEndHandedBack:
      break;
  }
  return {converted, false, true};
}

void ReadNodeRecords(InputFile& model, Layout layout, ModelRecords& out, int jobs) {
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
               if (KindOfBlockRecord(records[k]) != BlockRecord::kRecord) return k;
               std::int32_t unused = 0;
               double* xyz = out.node_coords.data() + 3 * (base + k);
               xyz[0] = xyz[1] = xyz[2] = 0.0;
               const ReadItem items[] = {
                   out.node_numbers[base + k], unused, unused, xyz[0], xyz[1], xyz[2]};
               if (!ReadNodeFields(records[k], layout, items)) return k;
               rotated[k] =
                   RotatesAxes(records[k], layout[0].width, layout[1].width, layout[1].digits);
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
  std::int32_t values[19];
  int count = 0;  // -1: an item is no integer
};

constexpr int kFirstRecordNodes = 8;

[[noreturn]] void RaiseConversion(const InputFile& model) {
  RaiseDiagnostic(kInputConversion, model.unit(), model.path());
}

// Appends the element of `first`; true when its nodes go on in the next record.
bool AppendElement(const FirstElementRecord& first, const InputFile& model, ModelRecords& out) {
  if (first.count < 0) RaiseConversion(model);
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
  if (TakeIntegers(record, nodes, wanted) < 0) RaiseConversion(model);
  out.element_nodes.insert(out.element_nodes.end(), nodes, nodes + wanted);
  out.node_begin.back() = out.element_nodes.size();
}

void ReadElementRecords(InputFile& model, std::size_t width, ModelRecords& out, int jobs) {
  std::vector<FirstElementRecord> firsts;
  bool continuation_next = false;  // the batch's first record continues an element
  ReadInBatches(model, jobs, SIZE_MAX,
                {.prepare = [&](std::size_t count) { firsts.resize(count); },
                 // Every record is read as an element's first record; those that turn
                 // out to continue the record before them are read again as that.
                 .convert =
                     [&](BatchRecords records, std::size_t begin, std::size_t end) {
                       for (std::size_t r = std::max<std::size_t>(begin, continuation_next);
                            r < end; ++r) {
                         if (KindOfBlockRecord(records[r]) != BlockRecord::kRecord) return r;
                         // Most records of eight nodes or more are nineteen fields of
                         // the format's width.
                         firsts[r].count = TakeColumnIntegers(records[r], width, firsts[r].values)
                                               ? 19
                                               : TakeIntegers(records[r], firsts[r].values, 19);
                       }
                       return end;
                     },
                 .take =
                     [&](BatchRecords records, std::size_t converted) {
                       std::size_t k = 0;
                       if (continuation_next && !records.empty()) {
                         AppendContinuation(records[0], model, out);
                         continuation_next = false;
                         k = 1;
                       }
                       for (; k < converted; ++k) {
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

std::vector<std::int32_t> ReadComponentValues(InputFile& model, std::int32_t count) {
  std::vector<std::int32_t> values;
  model.ReadRecord();  // the component's format record
  std::int32_t row[64];
  while (static_cast<std::int32_t>(values.size()) < count) {
    const std::string_view record = model.ReadRecord();
    const int taken = TakeIntegers(record, row, 64);
    if (taken < 0) RaiseConversion(model);
    values.insert(values.end(), row, row + taken);
  }
  return values;
}

void ReadComponent(InputFile& model, std::string_view record, ModelRecords& out) {
  const std::vector<std::string_view> fields = CommandFields(record);
  const std::string_view name = Trimmed(FieldAt(fields, 1));
  const bool points = name == "FIELDPOINTS";
  if (!points && name != "FIELDCELLS") return;
  // ANSYS writes a comment after the count: "CMBLOCK,FIELDCELLS,ELEM,  2  ! users ...".
  const std::string_view count_field = FieldAt(fields, 3);
  const std::int32_t count = TextToInteger(Trimmed(count_field.substr(0, count_field.find('!'))));
  std::vector<std::int32_t> values = ReadComponentValues(model, count);
  (points ? out.field_point_values : out.field_cell_values) = std::move(values);
  (points ? out.has_field_points : out.has_field_cells) = true;
}

void ReadDisplacement(std::string_view record, ModelRecords& out) {
  const std::vector<std::string_view> fields = CommandFields(record);
  const std::int32_t node = TextToInteger(Trimmed(FieldAt(fields, 1)));
  const int direction = DisplacementDirection(Trimmed(FieldAt(fields, 2)));
  if (direction == 0) return;
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
  for (;;) {
    if (pending) {
      record = *pending;
      pending.reset();
    } else if (!model.NextRecord(record)) {
      return;
    }
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
    if (const std::optional<Layout> layout = NodeFormatOf(record)) {
      out.has_node_block = true;
      ReadNodeRecords(model, *layout, out, jobs);
    } else if (const std::size_t width = ElementFieldWidth(record); width != 0) {
      out.has_element_block = true;
      ReadElementRecords(model, width, out, jobs);
    } else if (record.starts_with("CMBLOCK,")) {
      ReadComponent(model, record, out);
    } else if (record.starts_with("D,")) {
      ReadDisplacement(record, out);
    } else if (BeginsPressures(record)) {
      pending = ReadPressures(model, record, keep);
    }
  }
}
