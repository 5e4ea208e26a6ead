#include "model/pressure_loads.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "textio/command_fields.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/number_read.h"

namespace {

struct Normal {
  double x, y, z, length;
};

Normal CrossNormal(const RunTables& run, std::int32_t t) {
  const std::int32_t* corners = run.TriangleNodes.Column(t);
  const double* a = run.NodeCoords.Column(corners[0]);
  const double* b = run.NodeCoords.Column(corners[1]);
  const double* c = run.NodeCoords.Column(corners[2]);
  const double abx = b[0] - a[0], aby = b[1] - a[1], abz = b[2] - a[2];
  const double acx = c[0] - a[0], acy = c[1] - a[1], acz = c[2] - a[2];
  Normal n;
  n.x = aby * acz - abz * acy;
  n.y = abz * acx - abx * acz;
  n.z = abx * acy - aby * acx;
  n.length = std::sqrt((n.x * n.x + n.y * n.y) + n.z * n.z);
  return n;
}

bool IsUsable(double length) { return length != 0.0 && std::isfinite(length); }

void ApplyTraction(RunTables& run, std::int32_t t, const double traction[3]) {
  for (int d = 1; d <= 3; ++d) {
    run.TriangleBcKinds(d, t) = kTractionPrescribed;
    run.TriangleBcValues(d, t) = traction[d - 1];
  }
}

// Keys 1 and 2 are the faces of a surface element (bottom and top of a
// shell); the others are edge loads or tangential loads, no face pressure.
bool IsFacePressureKey(std::int32_t key) { return key == 1 || key == 2; }

}  // namespace

void IgnorePressureKey(RunTables& run, std::int32_t element, std::int32_t key) {
  ++run.Pressures.read;
  PrintWarning(PressureKeyNotFacePressure(element, key));
  ++run.Pressures.other_key;
}

void ApplyPressure(RunTables& run, std::int32_t element, std::int32_t key, double pressure) {
  PressureFigures& figures = run.Pressures;
  ++figures.read;
  if (element < 1 || element > run.ElementCount) {
    PrintWarning(PressureElementOutOfRange(element, run.ElementCount));
    ++figures.no_such_element;
    return;
  }
  const std::int32_t first = run.ElementTriangles(element, 1);
  const std::int32_t second = run.ElementTriangles(element, 2);
  if (first == 0) {
    PrintWarning(PressureElementWithoutTriangles(element));
    ++figures.no_such_element;
    return;
  }
  if (!IsFacePressureKey(key)) {
    PrintWarning(PressureKeyNotFacePressure(element, key));
    ++figures.other_key;
    return;
  }
  Normal n = CrossNormal(run, first);
  // A degenerate first triangle has no normal; the element's other triangle may.
  if (!IsUsable(n.length)) {
    Normal other = CrossNormal(run, second);
    if (second == first || !IsUsable(other.length)) {
      PrintWarning(PressureWithoutNormal(element));
      ++figures.no_normal;
      return;
    }
    PrintWarning(PressureUsesSecondTriangle(element));
    n = other;
  }
  const double u[3] = {n.x / n.length, n.y / n.length, n.z / n.length};
  // A positive pressure pushes against the normal.
  const double traction[3] = {-(pressure * u[0]), -(pressure * u[1]), -(pressure * u[2])};
  ApplyTraction(run, first, traction);
  ApplyTraction(run, second, traction);
  run.ElementLoaded(element, 1) = 1;
  ++figures.applied;
}

double MeanPressure(const double values[4]) {
  return (((values[0] + values[1]) + values[2]) + values[3]) * 0.25;
}

namespace {

// An SFE command's key: blank is key 1.
std::int32_t KeyOf(std::string_view text) {
  return Trimmed(text).empty() ? 1 : TextToInteger(Trimmed(text));
}

// The record of an SFE command's second value set: "SFE," with 2 as its
// fifth field ("SFE,e,key,PRES,2,R5.0").
bool IsSecondValueSet(std::string_view record) {
  return TextIs(LeadingColumns(record, 4), "SFE,") && Trimmed(CommandField(record, 4)) == "2";
}

// One pressure command, its record already read: the element and key from
// its fields, then its four values and its second value set, when it follows.
void ReadPressureCommand(InputFile& model, std::string_view record, const PressureSink& take) {
  PressureValues pressure;
  NotingValueRecord(static_cast<std::int64_t>(model.record_offset()), [&] {
    pressure.element = TextToInteger(Trimmed(CommandField(record, 1)));
    pressure.key = KeyOf(CommandField(record, 2));
  });
  double* p = pressure.values;
  ReadFreeForm(model, {p[0], p[1], p[2], p[3]});
  take(pressure);
  // ANSYS follows the values with the command's second value set, its own
  // SFE record (value set 2) and row: both are passed over. Anything else is
  // the next record, read as usual.
  std::string_view next;
  if (!model.NextRecord(next)) return;
  if (IsSecondValueSet(next)) {
    model.ReadRecord();
  } else {
    model.Unread(next);
  }
}

// A row of a pressure block: element, key, kind, then at least four values.
struct PressureRow {
  PressureValues pressure;
  std::int32_t kind = 0;
};

bool ParsePressureRow(std::string_view record, PressureRow& row) {
  const std::vector<std::string_view> items = BlankSeparatedItems(record);
  if (items.size() < 7) return false;
  std::int32_t* integers[] = {&row.pressure.element, &row.pressure.key, &row.kind};
  for (std::size_t k = 0; k < 3; ++k) {
    if (!ParseIntegerField(items[k], *integers[k])) return false;
  }
  for (std::size_t k = 0; k < 4; ++k) {
    if (!ConvertRealText(items[3 + k], 0, row.pressure.values[k])) return false;
  }
  return true;
}

// The rows of a pressure block, after its format record; the first record
// that is no row ends it and is handed back, to be read as usual.
std::string_view ReadPressureBlock(InputFile& model, const PressureSink& take) {
  model.ReadRecord();  // the format record
  for (;;) {
    const std::string_view record = model.ReadRecord();
    PressureRow row;
    if (!ParsePressureRow(record, row)) return record;
    // Kind 2 rows hold the imaginary parts of the values before them.
    if (row.kind == 1) take(row.pressure);
  }
}

}  // namespace

bool BeginsPressures(std::string_view record) {
  if (TextIs(LeadingColumns(record, 4), "SFE,")) {
    return Trimmed(CommandField(record, 3)) == "PRES";
  }
  return record.starts_with("SFEBLOCK,") && Trimmed(CommandField(record, 2)) == "PRES";
}

std::optional<std::string_view> ReadPressures(InputFile& model, std::string_view record,
                                              const PressureSink& take) {
  if (record.starts_with("SFEBLOCK,")) return ReadPressureBlock(model, take);
  ReadPressureCommand(model, record, take);
  return std::nullopt;
}

void ReadPressureLoads(InputFile& model, RunTables& run) {
  const PressureSink apply = [&run](const PressureValues& pressure) {
    ApplyPressure(run, pressure.element, pressure.key, MeanPressure(pressure.values));
  };
  std::string_view record = model.ReadRecord();
  for (;;) {
    if (BeginsPressures(record)) {
      if (const std::optional<std::string_view> next = ReadPressures(model, record, apply)) {
        record = *next;
        continue;
      }
    } else if (TextIs(LeadingColumns(record, 4), "FINI")) {
      return;
    }
    record = model.ReadRecord();
  }
}
