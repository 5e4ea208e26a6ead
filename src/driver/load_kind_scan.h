// The second pass: which load kinds the model carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/element_types.h"
#include "model/run_tables.h"
#include "textio/input_file.h"

/// The first characters of every record that the two scans test for: the
/// size scan's words ("*ELSE", "FINISH", "CMBLOCK,FIELDCELLS",
/// "CMBLOCK,FIELDPOINTS"), the load kind test's ("D,", "SFE,", "SFEBLOCK,",
/// "FINI"), the element type records' ("ET,", "ETBLOCK,", "KEYOP",
/// "EBLOCK") and the commands the run notes (loads it does not take: "F,",
/// "BF", "ACEL", "OMEGA", "CP,", ...; the material: "MP,", "MPDATA,"). A
/// record beginning otherwise changes nothing in any scan, so they pass over
/// it unread.
inline constexpr std::string_view kScanInitials = "*ABCDEFKMOS";

/// The element type records met before the element block, in file order:
/// the text of each ET and KEYOP record, and the offset of each ETBLOCK
/// record, whose rows (beginning with blanks) the scans pass over.
class TypeRecordScan {
 public:
  void Test(std::string_view record, std::uint64_t offset);

  /// The element types these records define; an ETBLOCK is read again at
  /// its offset.
  void ReadTypes(InputFile& model, ElementTypes& types) const;

 private:
  struct Found {
    std::uint64_t offset;
    std::string text;  // empty for an ETBLOCK
  };
  std::vector<Found> found_;
  bool ended_ = false;
};

/// The load kind test, record after record from the first record of the
/// file, up to the first record beginning "FINI"; the records before it are
/// noted in the run's Notes.
class LoadKindScan {
 public:
  explicit LoadKindScan(RunTables& run) : run_(run) {}

  /// Tests the next record of the file; records after the end are ignored.
  void Test(std::string_view record, std::uint64_t offset);
  bool ended() const { return ended_; }
  const TypeRecordScan& type_records() const { return types_; }

 private:
  RunTables& run_;
  TypeRecordScan types_;
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
