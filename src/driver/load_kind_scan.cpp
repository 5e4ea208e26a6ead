#include "driver/load_kind_scan.h"

#include "textio/fixed_layout.h"

void TypeRecordScan::Test(std::string_view record, std::uint64_t offset) {
  if (ended_ || record.empty() || !ElementTypes::MayMatter(record[0])) return;
  if (record.starts_with("EBLOCK") || record.starts_with("FINISH")) {
    ended_ = true;
  } else if (record.starts_with("ETBLOCK,")) {
    found_.push_back({offset, {}});
  } else if (record.starts_with("ET,") || record.starts_with("KEYOP,") ||
             record.starts_with("KEYOPT,")) {
    found_.push_back({offset, std::string(record)});
  }
}

void TypeRecordScan::ReadTypes(InputFile& model, ElementTypes& types) const {
  for (const Found& found : found_) {
    if (!found.text.empty()) {
      types.Take(found.text);
      continue;
    }
    model.ReopenAt(found.offset);
    types.Take(model.ReadRecord());
    std::string_view record;
    while (types.InBlock() && model.NextRecord(record)) types.Take(record);
  }
}

void LoadKindScan::Test(std::string_view record, std::uint64_t offset) {
  types_.Test(record, offset);
  if (ended_) return;
  const LineBufferView line_buffer = LeadingColumns(record, kLoadCommandProbe[0].width);
  // Every "D," record counts: constrained nodes numbered from 100000 on
  // leave no blanks after the comma, and their constraints must not be lost.
  if (line_buffer.substr(0, 2) == "D,") {
    run_.HasDisplacements = true;
  } else if (line_buffer == "SFE," || line_buffer == "SFEB") {
    if (!run_.HasPressures) run_.FirstPressureCommandOffset = offset;
    run_.HasPressures = true;
  }
  if (line_buffer == "FINI") {
    ended_ = true;
  } else {
    NoteCommandRecord(record, run_.Notes);
  }
}

void ScanLoadKinds(InputFile& model, LoadKindScan& scan) {
  while (!scan.ended()) {
    model.SkipRecordsNotBeginningWith(kScanInitials);
    const std::string_view record = model.ReadRecord();
    scan.Test(record, model.record_offset());
  }
}

void ScanLoadKinds(InputFile& model, RunTables& run) {
  LoadKindScan scan(run);
  ScanLoadKinds(model, scan);
}
