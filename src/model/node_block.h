// Node block: boundary-node and field-point coordinates.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/run_tables.h"
#include "textio/fixed_layout.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

/// Finds the node format record, then reads NodeCount node records into
/// NodeCoords and FieldPointCount field-point records into FieldPointCoords,
/// by position, converting them on `jobs` threads. Each numbering mismatch is
/// reported on `console`, in record order. Leaves the
/// file after the last node or field-point record.
void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs = 1);

/// The layout of a node block's records, as its format record gives it: the
/// fields the run reads (the number, two integers, x, y and z) and the real
/// fields the record declares, 3 to 6, of which the 4th to 6th rotate the
/// node's axes.
class NodeLayout {
 public:
  /// One of the run's four layouts: three integer fields and three real
  /// fields read, six real fields declared.
  explicit NodeLayout(Layout known);
  /// A declared layout: three integer fields of the widths given, then
  /// `reals` real fields of `real`'s width and decimals.
  NodeLayout(std::span<const int, 3> integer_widths, FieldSpec real, int reals);

  /// The six fields read, as ReadNodeFields takes them.
  Layout fields() const { return known_.empty() ? Layout(declared_) : known_; }
  /// The first integer field's columns: where the node's number is.
  int number_width() const { return fields()[0].width; }
  /// Whether a node record rotates the node's axes: one of its declared
  /// 4th, 5th and 6th real fields (THXY, THYZ, THZX) is present and not 0,
  /// or does not convert.
  bool RotatesAxes(std::string_view record) const;

 private:
  Layout known_;
  std::array<FieldSpec, 6> declared_{};
  std::array<int, 3> integer_widths_{};
  FieldSpec real_{};       // each real field, as declared
  std::size_t z_end_ = 0;  // the columns up to z's last one
  int real_fields_ = 6;
};

/// The layout of the node records that follow `record` when it is a node
/// format record; nothing for any other record. A record that is one of the
/// run's four texts ("(3i8,6e16.9)", "(3i8,6e20.13)", "(3i9,6e20.13)",
/// "(3i9,6e21.13e...") selects its layout wherever it stands. A record that
/// follows one beginning NBLOCK (`follows_nblock`) may declare any other:
/// "(" groups "Ni W" of three integer fields in all, then groups "Me W.D" or
/// "Me W.DeX" of 3 to 6 real fields of one width and decimals, ")", the
/// record ending there or going on after a blank.
std::optional<NodeLayout> NodeFormatOf(std::string_view record, bool follows_nblock);

/// The node formats the run reads, as a refusal lists them: "(3i8,6e16.9),
/// ..., or (3i9,6e21.13e...)", a format known by its first columns alone
/// ending in "...)", and the declared ones described.
std::string NodeFormatList();

/// Reads a node record of `layout`, the fields of a NodeLayout, as
/// ReadFixedFields does; the run's four layouts with their reads written
/// out.
[[nodiscard]] bool ReadNodeFields(std::string_view record, Layout layout,
                                  std::span<const ReadItem, 6> items);
