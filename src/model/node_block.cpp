#include "model/node_block.h"


#include "textio/fixed_layout.h"
#include "textio/free_form.h"

namespace {

struct NodeFormat {
  std::string_view text;  // compared on 13 columns, trailing blank included
  Layout layout;
};

constexpr NodeFormat kNodeFormats[] = {
    {"(3i8,6e16.9) ", kNodeRecordLayout1},
    {"(3i8,6e20.13)", kNodeRecordLayout2},
    {"(3i9,6e20.13)", kNodeRecordLayout3},
    {"(3i9,6e21.13e", kNodeRecordLayout4},
};

Layout FindNodeFormat(InputFile& model) {
  for (;;) {
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth13);
    for (const NodeFormat& format : kNodeFormats) {
      if (TextIs(line_buffer, format.text)) return format.layout;
    }
  }
}

// Reads one node record; returns the node number written in it.
std::int32_t ReadNodeRecord(InputFile& model, Layout layout, double* xyz) {
  std::int32_t number = 0;
  std::int32_t unused = 0;
  ReadFixedRecord(model, layout, {number, unused, unused, xyz[0], xyz[1], xyz[2]});
  return number;
}

}  // namespace

void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console) {
  const Layout layout = FindNodeFormat(model);
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    std::int32_t number = ReadNodeRecord(model, layout, run.NodeCoords.Column(i));
    if (number != i) WriteFreeForm(console, {" Node number error ni, i =", number, i});
  }
  for (std::int32_t j = 1; j <= run.FieldPointCount; ++j) {
    std::int32_t number = ReadNodeRecord(model, layout, run.FieldPointCoords.Column(j));
    // Compared with the node number the field point should have, reported by its position.
    if (static_cast<std::int64_t>(number) != std::int64_t{run.NodeCount} + j) {
      WriteFreeForm(console, {" Node number error ni, i =", number, j});
    }
  }
}
