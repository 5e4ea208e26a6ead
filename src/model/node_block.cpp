#include "model/node_block.h"

#include <cstring>
#include <optional>
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

std::optional<NodeLayout> KnownNodeFormat(std::string_view record) {
  const LineBufferView line_buffer = LeadingColumns(record, kProbeWidth13[0].width);
  for (const NodeFormat& format : kNodeFormats) {
    if (TextIs(line_buffer, format.text)) return NodeLayout(format.layout);
  }
  return std::nullopt;
}

// A number of one to three digits at `pos`, above 0; advances `pos`.
bool TakeCount(std::string_view text, std::size_t& pos, int& value) {
  value = 0;
  const std::size_t begin = pos;
  while (pos < text.size() && pos - begin < 3 && text[pos] >= '0' && text[pos] <= '9') {
    value = 10 * value + (text[pos++] - '0');
  }
  return pos > begin && (pos == text.size() || text[pos] < '0' || text[pos] > '9') && value > 0;
}

// One group of a declared format: "Ni W", or "Me W.D" with "eX" or not.
struct FormatGroup {
  char letter = 0;
  int repeat = 0;
  int width = 0;
  int digits = 0;
};

bool TakeGroup(std::string_view text, std::size_t& pos, FormatGroup& group) {
  if (!TakeCount(text, pos, group.repeat) || pos >= text.size()) return false;
  group.letter = text[pos++];
  if (group.letter != 'i' && group.letter != 'e') return false;
  if (!TakeCount(text, pos, group.width)) return false;
  if (group.letter == 'i') return true;
  int exponent = 0;
  if (pos >= text.size() || text[pos++] != '.') return false;
  // The decimals may be 0, a count that TakeCount refuses.
  if (pos < text.size() && text[pos] == '0') {
    ++pos;
  } else if (!TakeCount(text, pos, group.digits)) {
    return false;
  }
  if (pos < text.size() && text[pos] == 'e') return TakeCount(text, ++pos, exponent);
  return true;
}

// A layout that `record` declares: integer groups of three fields in all,
// then real groups of 3 to 6 fields of one width and decimals.
std::optional<NodeLayout> DeclaredNodeFormat(std::string_view record) {
  const std::size_t close = record.find(')');
  if (!record.starts_with('(') || close == std::string_view::npos ||
      (close + 1 < record.size() && record[close + 1] != ' ')) {
    return std::nullopt;
  }
  const std::string_view text = record.substr(0, close);
  int integer_widths[3] = {};
  int integers = 0;
  int reals = 0;
  FormatGroup real;
  for (std::size_t pos = 1;;) {
    FormatGroup group;
    if (!TakeGroup(text, pos, group)) return std::nullopt;
    if (group.letter == 'i') {
      if (reals != 0 || group.repeat > 3 - integers) return std::nullopt;
      for (int k = 0; k < group.repeat; ++k) integer_widths[integers++] = group.width;
    } else {
      if (group.repeat > 6 - reals ||
          (reals != 0 && (group.width != real.width || group.digits != real.digits))) {
        return std::nullopt;
      }
      real = group;
      reals += group.repeat;
    }
    if (pos == text.size()) break;
    if (text[pos++] != ',') return std::nullopt;
  }
  if (integers != 3 || reals < 3) return std::nullopt;
  return NodeLayout(integer_widths, E(real.width, real.digits), reals);
}

}  // namespace

NodeLayout::NodeLayout(Layout known)
    : known_(known),
      integer_widths_{known[0].width, known[0].width, known[0].width},
      real_(known[1]),
      z_end_(static_cast<std::size_t>(3 * known[0].width + 3 * known[1].width)) {}

NodeLayout::NodeLayout(std::span<const int, 3> integer_widths, FieldSpec real, int reals)
    : declared_{I(integer_widths[0]), I(integer_widths[1]), I(integer_widths[2]), real, real, real},
      integer_widths_{integer_widths[0], integer_widths[1], integer_widths[2]},
      real_(real),
      z_end_(static_cast<std::size_t>(integer_widths[0] + integer_widths[1] + integer_widths[2] +
                                      3 * real.width)),
      real_fields_(reals) {}

bool NodeLayout::RotatesAxes(std::string_view record) const {
  // Most node records end with z and hold no comma.
  if (real_fields_ <= 3 ||
      (record.size() <= z_end_ &&
       (record.empty() || std::memchr(record.data(), ',', record.size()) == nullptr))) {
    return false;
  }
  std::size_t pos = 0;
  for (const int width : integer_widths_) TakeNumberField(record, pos, width);
  for (int k = 0; k < 3; ++k) TakeNumberField(record, pos, real_.width);
  for (int k = 3; k < real_fields_; ++k) {
    const std::string_view field = TakeNumberField(record, pos, real_.width);
    if (Trimmed(field).empty()) continue;
    double angle = 0.0;
    if (!ParseRealField(field, real_.digits, angle) || angle != 0.0) return true;
  }
  return false;
}

bool ReadNodeFields(std::string_view record, Layout layout, std::span<const ReadItem, 6> items) {
  for (const NodeFormat& format : kNodeFormats) {
    if (format.layout.data() == layout.data()) return format.read(record, items);
  }
  return ReadFixedFields(record, layout, items);
}

std::optional<NodeLayout> NodeFormatOf(std::string_view record, bool follows_nblock) {
  std::optional<NodeLayout> layout = KnownNodeFormat(record);
  if (!layout && follows_nblock) layout = DeclaredNodeFormat(record);
  return layout;
}

std::string NodeFormatList() {
  std::vector<std::string> texts;
  for (const NodeFormat& format : kNodeFormats) {
    const std::string_view text = Trimmed(format.text);
    texts.push_back(std::string(text) + (text.ends_with(')') ? "" : "...)"));
  }
  const std::vector<std::string_view> views(texts.begin(), texts.end());
  return FormatList(views) +
         ", or after the NBLOCK record any format of three integer fields (Ni W) and 3 to 6 "
         "real fields of one width and decimals (Me W.D or Me W.DeX)";
}

namespace {

// The first node format record and the layout it selects.
NodeLayout FindNodeFormat(InputFile& model) {
  bool follows_nblock = false;
  for (;;) {
    const std::string_view record = model.ReadRecord();
    if (std::optional<NodeLayout> layout = NodeFormatOf(record, follows_nblock)) return *layout;
    follows_nblock = record.starts_with("NBLOCK");
  }
}

// Reads one node record; returns the node number written in it.
std::int32_t ReadNodeRecord(InputFile& model, Layout layout, double* xyz) {
  std::int32_t number = 0;
  std::int32_t unused = 0;
  ReadFixedRecord(model, layout, {number, unused, unused, xyz[0], xyz[1], xyz[2]});
  return number;
}

// The same, the record read alone: whether it rotates the node's axes too.
std::int32_t ReadNodeRecordAlone(InputFile& model, const NodeLayout& format, double* xyz,
                                 bool& rotates) {
  std::string_view record;
  if (model.NextRecord(record)) {
    rotates = format.RotatesAxes(record);
    model.Unread(record);
  }
  return ReadNodeRecord(model, format.fields(), xyz);
}

// Position p of the block, from 0: a node up to NodeCount, then a field point.
double* CoordinatesAt(RunTables& run, std::int64_t node_count, std::int64_t p) {
  return p < node_count
             ? run.NodeCoords.Column(static_cast<std::int32_t>(p + 1))
             : run.FieldPointCoords.Column(static_cast<std::int32_t>(p + 1 - node_count));
}

}  // namespace

void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs) {
  const NodeLayout format = FindNodeFormat(model);
  const Layout layout = format.fields();
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
               rotated[k] = format.RotatesAxes(records[k]);
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
             check_number(done, ReadNodeRecordAlone(model, format,
                                                    CoordinatesAt(run, node_count, done), rotates));
             note_rotation(done, rotates);
             ++done;
           }});
}
