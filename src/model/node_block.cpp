#include "model/node_block.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/cdb_rows.h"
#include "model/model_notes.h"
#include "textio/command_fields.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "threads/parallel_records.h"

namespace {

struct NodeFormat {
  std::string_view text;  // compared on 13 columns, trailing blank included
  Layout layout;
  // The layout's read written out when compiling.
  bool (*read)(std::string_view record, std::span<const ReadItem, 6> items);
};

constexpr NodeFormat kNodeFormats[] = {
    {"(3i8,6e16.9) ", kNodeRecordLayout1, &ReadFixedFieldsOf<kNodeRecordLayout1>},
    {"(3i8,6e20.13)", kNodeRecordLayout2, &ReadFixedFieldsOf<kNodeRecordLayout2>},
    {"(3i9,6e20.13)", kNodeRecordLayout3, &ReadFixedFieldsOf<kNodeRecordLayout3>},
    {"(3i9,6e21.13e", kNodeRecordLayout4, &ReadFixedFieldsOf<kNodeRecordLayout4>},
};

Layout FindNodeFormat(InputFile& model) {
  for (;;) {
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth13);
    for (const NodeFormat& format : kNodeFormats) {
      if (TextIs(line_buffer, format.text)) return format.layout;
    }
  }
}

}  // namespace

bool ReadNodeFields(std::string_view record, Layout layout, std::span<const ReadItem, 6> items) {
  for (const NodeFormat& format : kNodeFormats) {
    if (format.layout.data() == layout.data()) return format.read(record, items);
  }
  return ReadFixedFields(record, layout, items);
}

std::optional<Layout> NodeFormatOf(std::string_view record) {
  const LineBufferView line_buffer = LeadingColumns(record, kProbeWidth13[0].width);
  for (const NodeFormat& format : kNodeFormats) {
    if (TextIs(line_buffer, format.text)) return format.layout;
  }
  return std::nullopt;
}

std::string NodeFormatList() {
  std::vector<std::string> texts;
  for (const NodeFormat& format : kNodeFormats) {
    const std::string_view text = Trimmed(format.text);
    texts.push_back(std::string(text) + (text.ends_with(')') ? "" : "...)"));
  }
  const std::vector<std::string_view> views(texts.begin(), texts.end());
  return FormatList(views);
}

namespace {

bool RecordRotatesAxes(std::string_view record, Layout layout) {
  return RotatesAxes(record, layout[0].width, layout[1].width, layout[1].digits);
}

// Reads one node record; returns the node number written in it.
std::int32_t ReadNodeRecord(InputFile& model, Layout layout, double* xyz) {
  std::int32_t number = 0;
  std::int32_t unused = 0;
  ReadFixedRecord(model, layout, {number, unused, unused, xyz[0], xyz[1], xyz[2]});
  return number;
}

// The same, the record read alone: whether it rotates the node's axes too.
std::int32_t ReadNodeRecordAlone(InputFile& model, Layout layout, double* xyz, bool& rotates) {
  std::string_view record;
  if (model.NextRecord(record)) {
    rotates = RecordRotatesAxes(record, layout);
    model.Unread(record);
  }
  return ReadNodeRecord(model, layout, xyz);
}

// Position p of the block, from 0: a node up to NodeCount, then a field point.
double* CoordinatesAt(RunTables& run, std::int64_t node_count, std::int64_t p) {
  return p < node_count
             ? run.NodeCoords.Column(static_cast<std::int32_t>(p + 1))
             : run.FieldPointCoords.Column(static_cast<std::int32_t>(p + 1 - node_count));
}

}  // namespace

void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs) {
  const Layout layout = FindNodeFormat(model);
  const std::int64_t node_count = run.NodeCount > 0 ? run.NodeCount : 0;
  const std::int64_t total = node_count + (run.FieldPointCount > 0 ? run.FieldPointCount : 0);
  // Nodes are numbered p + 1, field points NodeCount + j (NodeCount as the
  // header gave it, below 0 too); a field point is reported by its position j.
  auto expected = [&](std::int64_t p) {
    return p < node_count ? p + 1 : std::int64_t{run.NodeCount} + (p + 1 - node_count);
  };
  auto check_number = [&](std::int64_t p, std::int32_t number) {
    if (number == expected(p)) return;
    const std::int64_t shown = p < node_count ? p + 1 : p + 1 - node_count;
    WriteFreeForm(console,
                  {" Node number error ni, i =", number, static_cast<std::int32_t>(shown)});
  };
  // The records are converted in batches, the numbers they give checked in
  // record order. A record that fails is read again alone, which raises
  // what it raises in sequence, after the messages of the records before it.
  // Boundary nodes whose records rotate their axes are noted in block order.
  auto note_rotation = [&](std::int64_t p, bool rotated) {
    if (rotated && p < node_count) {
      const auto node = static_cast<std::int32_t>(p + 1);
      run.Notes.rotated_nodes.emplace_back(node, node);
    }
  };
  std::int64_t done = 0;
  std::vector<std::int32_t> numbers;
  std::vector<std::uint8_t> rotated;
  ReadInBatches(
      model, jobs, static_cast<std::size_t>(total),
      {.prepare =
           [&](std::size_t count) {
             numbers.resize(count);
             rotated.resize(count);
           },
       .convert =
           [&](BatchRecords records, std::size_t begin, std::size_t end) {
             for (std::size_t k = begin; k < end; ++k) {
               double* xyz = CoordinatesAt(run, node_count, done + static_cast<std::int64_t>(k));
               std::int32_t unused = 0;
               const ReadItem items[] = {numbers[k], unused, unused, xyz[0], xyz[1], xyz[2]};
               if (!ReadNodeFields(records[k], layout, items)) return k;
               rotated[k] = RecordRotatesAxes(records[k], layout);
             }
             return end;
           },
       .take =
           [&](BatchRecords records, std::size_t converted) {
             for (std::size_t k = 0; k < converted; ++k) {
               check_number(done + static_cast<std::int64_t>(k), numbers[k]);
               note_rotation(done + static_cast<std::int64_t>(k), rotated[k] != 0);
             }
             done += static_cast<std::int64_t>(converted);
             return ConvertedRecordsTaken(records, converted);
           },
       .read_alone =
           [&] {
             bool rotates = false;
             check_number(done, ReadNodeRecordAlone(model, layout,
                                                    CoordinatesAt(run, node_count, done), rotates));
             note_rotation(done, rotates);
             ++done;
           }});
}
