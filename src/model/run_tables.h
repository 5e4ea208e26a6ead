// Every count and table of one run.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "model/element_types.h"
#include "model/model_notes.h"

/// A column-major table with 1-based indices in both dimensions. Allocated
/// once and never resized; a negative extent gives an empty table. The
/// memory is not touched at allocation, so that a table the run never fills
/// costs no resident memory.
template <class T>
class Table2D {
 public:
  Table2D() = default;

  /// Allocates rows x columns items, zero-filled when `zeroed`. Returns false
  /// when memory cannot be had.
  [[nodiscard]] bool Allocate(std::int64_t rows, std::int64_t columns, bool zeroed = false) {
    rows_ = rows < 0 ? 0 : rows;
    columns_ = columns < 0 ? 0 : columns;
    std::size_t count = static_cast<std::size_t>(rows_ * columns_);
    void* memory = zeroed ? std::calloc(count == 0 ? 1 : count, sizeof(T))
                          : std::malloc((count == 0 ? 1 : count) * sizeof(T));
    data_.reset(static_cast<T*>(memory));
    return data_ != nullptr;
  }

  T& operator()(std::int64_t row, std::int64_t column) {
    assert(row >= 1 && row <= rows_ && column >= 1 && column <= columns_ &&
           "index inside the table");
    return data_.get()[(column - 1) * rows_ + (row - 1)];
  }
  const T& operator()(std::int64_t row, std::int64_t column) const {
    assert(row >= 1 && row <= rows_ && column >= 1 && column <= columns_ &&
           "index inside the table");
    return data_.get()[(column - 1) * rows_ + (row - 1)];
  }

  /// Column `column`, its `rows` items in a row.
  T* Column(std::int64_t column) {
    assert(column >= 1 && column <= columns_ && "column inside the table");
    return data_.get() + (column - 1) * rows_;
  }
  const T* Column(std::int64_t column) const {
    assert(column >= 1 && column <= columns_ && "column inside the table");
    return data_.get() + (column - 1) * rows_;
  }

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  std::int64_t size() const { return rows_ * columns_; }
  std::int64_t rows() const { return rows_; }
  std::int64_t columns() const { return columns_; }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> data_;
  std::int64_t rows_ = 0;
  std::int64_t columns_ = 0;
};

/// The pressures a pressure pass read (SFE records and SFEBLOCK rows of
/// label PRES), and what became of them.
struct PressureFigures {
  std::int64_t read = 0;
  std::int64_t applied = 0;
  std::int64_t no_such_element = 0;  // outside the elements, or no record carries it
  std::int64_t other_key = 0;        // a key that is no face pressure
  std::int64_t no_normal = 0;        // neither triangle of the element has a normal
};

/// The counts, flags and ten tables of the run; nothing else is global.
struct RunTables {
  std::int32_t NodeCount = 0;
  std::int32_t ElementCount = 0;
  std::int32_t FieldPointCount = 0;
  std::int32_t FieldCellCount = 0;
  std::int32_t TriangleCount = 0;
  bool HasDisplacements = false;
  bool HasPressures = false;
  // Where the pressure pass may begin: the byte offset of the first record
  // beginning "SFE,". Every record before it would be passed over.
  std::uint64_t FirstPressureCommandOffset = 0;

  Table2D<double> NodeCoords;                      // 3 x NodeCount
  Table2D<std::int32_t> TriangleNodes;             // 3 x (2 x ElementCount)
  Table2D<std::int32_t> ElementTriangles;          // ElementCount x 2, zero until filled
  Table2D<double> TriangleBcValues;                // 3 x (2 x ElementCount), zero until set
  Table2D<std::int32_t> TriangleBcKinds;           // 3 x (2 x ElementCount)
  Table2D<double> NodeDisplacements;               // 3 x NodeCount
  Table2D<std::int32_t> TriangleConstraintCounts;  // 3 x (2 x ElementCount), never filled
  Table2D<double> FieldPointCoords;                // 3 x FieldPointCount
  Table2D<std::int32_t> FieldCellNodes;            // 4 x FieldCellCount
  // 1 for each element that the pressure pass loaded, for the model check.
  Table2D<std::uint8_t> ElementLoaded;  // ElementCount x 1, zero until loaded

  // The local element types the model defines (none: nothing is known of
  // its elements), and how many element records named each, for the check.
  ElementTypes Types;
  std::vector<std::int64_t> ElementsOfType;  // by position in Types.types()
  std::int64_t ElementsOfUndefinedType = 0;

  // What the pressure pass made of the pressures it read, for the check.
  PressureFigures Pressures;

  // What the solver input does not carry, the material, rotated nodes: for
  // the warnings of a successful run and --material.
  ModelNotes Notes;
};

/// Allocates the ten tables from the counts, in the order of the run, with
/// ElementLoaded last. A table of more than 4294967295 bytes raises 179;
/// memory that cannot be had raises 41.
void AllocateTables(RunTables& run);

/// NodeDisplacements holds this where no displacement is prescribed; it is
/// compared for exact equality.
inline constexpr double kNotGiven = 1.23e-33;

/// Condition kinds of TriangleBcKinds.
inline constexpr std::int32_t kDisplacementPrescribed = 1;
inline constexpr std::int32_t kTractionPrescribed = 2;
