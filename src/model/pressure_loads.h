// Pressure loads: tractions on the triangles of pressure-loaded elements.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "model/run_tables.h"
#include "textio/input_file.h"

/// Reads the "SFE," records with the label "PRES" from the first record to
/// the first record beginning "FINI" (left after it), and gives both
/// triangles of each loaded element traction conditions -p u in x, y, z, u
/// being the unit normal of the element's first triangle.
void ReadPressureLoads(InputFile& model, RunTables& run);

/// One pressure as the model file gives it: element, key (face) and the
/// four values of an SFE command or a pressure block's row of kind 1.
struct PressureValues {
  std::int32_t element = 0;
  std::int32_t key = 0;
  double values[4] = {0.0, 0.0, 0.0, 0.0};
};
using PressureSink = std::function<void(const PressureValues&)>;

/// Whether `record` begins pressures: an "SFE," record of label PRES, or an
/// "SFEBLOCK," record of label PRES.
bool BeginsPressures(std::string_view record);

/// Reads the pressures that `record` (just read from `model`, one for which
/// BeginsPressures holds) begins, handing each to `take` in file order: the
/// values (and the second value set after them) of an SFE record, or the rows of a block.
/// Returns the record that ended a block, to be read as usual; nothing when
/// the next record is to be read from the file.
std::optional<std::string_view> ReadPressures(InputFile& model, std::string_view record,
                                              const PressureSink& take);

/// The mean of a pressure's four values, added in order, times 0.25.
double MeanPressure(const double values[4]);

/// Warns of a pressure on element `element` with a key that is no face
/// pressure, and counts it among the pressures read, as ApplyPressure does.
void IgnorePressureKey(RunTables& run, std::int32_t element, std::int32_t key);

/// Gives both triangles of element `element` the traction of `pressure`
/// with key `key`, as the pressure pass does; an element without triangles
/// or a key that is no face pressure is warned of and not applied.
void ApplyPressure(RunTables& run, std::int32_t element, std::int32_t key, double pressure);
