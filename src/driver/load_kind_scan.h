// The second pass: which load kinds the model carries.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/run_tables.h"
#include "textio/record_file.h"

/// The first characters of every record that the two scans test for: the
/// size scan's words ("*ELSE", "FINISH", "CMBLOCK,FIELDCELLS",
/// "CMBLOCK,FIELDPOINTS") and the load kind test's ("D,", "SFE,", "FINI").
/// A record beginning otherwise changes nothing in either scan, so they
/// pass over it unread.
inline constexpr std::string_view kScanInitials = "*CDFS";

/// The load kind test, record after record from the first record of the
/// file, up to the first record beginning "FINI".
class LoadKindScan {
 public:
  explicit LoadKindScan(RunTables& run) : run_(run) {}

  /// Tests the next record of the file; records after the end are ignored.
  void Test(std::string_view record, std::uint64_t offset);
  bool ended() const { return ended_; }

  /// Test as a RecordObserver, `scan` being the LoadKindScan.
  static void Observe(void* scan, std::string_view record, std::uint64_t offset) {
    static_cast<LoadKindScan*>(scan)->Test(record, offset);
  }

 private:
  RunTables& run_;
  bool ended_ = false;
};

/// Reads on from the file's position until `scan` has met the first record
/// beginning "FINI", and leaves the file after it. The records before the
/// position must have been shown to `scan` already.
void ScanLoadKinds(InputFile& model, LoadKindScan& scan);

/// Sets HasDisplacements and HasPressures from a file opened at its first
/// record, up to the first record beginning "FINI", which it leaves the file
/// after.
void ScanLoadKinds(InputFile& model, RunTables& run);
