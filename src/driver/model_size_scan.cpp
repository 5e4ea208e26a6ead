#include "driver/model_size_scan.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "driver/load_kind_scan.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/output_file.h"

namespace {

// Component ranges are written as the first number and the last one negated.
std::int32_t ReadComponentSize(InputFile& model) {
  ReadFreeForm(model, {});  // the component's format record
  std::int32_t first = 0;
  std::int32_t negated_last = 0;
  ReadFreeForm(model, {first, negated_last});
  // Wraps like 32-bit arithmetic instead of overflowing on absurd ranges.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(0) -
                                   static_cast<std::uint32_t>(negated_last) -
                                   static_cast<std::uint32_t>(first) + 1u);
}

std::int32_t Subtract(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// The number of the record that begins at byte `offset` of `model`, from 1,
// read again from the file's first record, silently; 0 when it cannot be.
std::int64_t RecordNumberAt(const InputFile& model, std::uint64_t offset) {
  const SilentDiagnostics silent;
  try {
    InputFile again(model.path(), kModelUnit);
    std::string_view record;
    for (std::int64_t number = 1; again.NextRecord(record) && again.record_offset() <= offset;
         ++number) {
      if (again.record_offset() == offset) return number;
    }
  } catch (const RunEnded&) {
  }
  return 0;
}

}  // namespace

std::string StructureErrorText(const InputFile& model, bool reason) {
  std::string text(kStructureErrorMessage);
  if (!reason) return text;
  const std::int64_t record = RecordNumberAt(model, model.record_offset());
  text += record != 0 ? " record " + std::to_string(record) + " (FINISH)" : " a FINISH record";
  return text + " ends the model before the *ELSE record of its node and element counts";
}

void ScanModelSizes(InputFile& model, RunTables& run) {
  for (;;) {
    model.SkipRecordsNotBeginningWith(kScanInitials);
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth6);
    // "*ELSE" is the one word tested on fewer columns than were read.
    if (line_buffer.substr(0, 5) == "*ELSE") break;
    // A model that ends before its header is refused: the run fails with status 1.
    if (TextIs(line_buffer, "FINISH")) {
      StopWithModelError(StructureErrorText(model, StandardErrorIsTerminal()),
                         {.rule = StopRule::kStructure,
                          .record_offset = static_cast<std::int64_t>(model.record_offset())});
    }
  }
  std::array<char, kLineBufferLength> scratch;
  std::int32_t raw_node_count = 0;
  std::int32_t raw_element_count = 0;
  ReadFixedRecord(model, kOffsetCountLayout, {std::span<char>(scratch), raw_node_count});
  ReadFixedRecord(model, kOffsetCountLayout, {std::span<char>(scratch), raw_element_count});
  run.NodeCount = raw_node_count;
  run.ElementCount = raw_element_count;
  run.FieldCellCount = 0;
  run.FieldPointCount = 0;

  for (;;) {
    model.SkipRecordsNotBeginningWith(kScanInitials);
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth18);
    if (TextIs(line_buffer, "FINISH")) return;
    if (TextIs(line_buffer, "CMBLOCK,FIELDCELLS")) break;
  }
  run.FieldCellCount = ReadComponentSize(model);

  for (;;) {
    model.SkipRecordsNotBeginningWith(kScanInitials);
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth19);
    if (TextIs(line_buffer, "FINISH")) return;  // the field cells stay counted in ElementCount
    if (TextIs(line_buffer, "CMBLOCK,FIELDPOINTS")) break;
  }
  run.FieldPointCount = ReadComponentSize(model);
  run.ElementCount = Subtract(raw_element_count, run.FieldCellCount);
  run.NodeCount = Subtract(raw_node_count, run.FieldPointCount);
}
