#include "textio/diagnostics.h"

#include <atomic>
#include <string>

#include "system/console.h"
#include "system/files.h"

namespace {

constexpr char kPrefix[] = "runerr: severe (";
constexpr char kInsufficientMemoryText[] = "insufficient virtual memory";

struct DiagnosticText {
  int number;
  const char* text;
  bool names_file;  // the text ends with ", unit %d, file %s"
};

constexpr DiagnosticText kDiagnostics[] = {
    {kPermissionDenied, "permission to access file denied", true},
    {kEndOfFile, "end-of-file during read", true},
    {kFileNotFound, "file not found", true},
    {kOpenFailure, "open failure", true},
    {kReadError, "error during read", true},
    {kWriteError, "error during write", true},
    {kInsufficientMemory, kInsufficientMemoryText, false},
    {kNoSuchDevice, "no such device", true},
    {kFileNameError, "file name specification error", true},
    {kSyntaxError, "list-directed I/O syntax error", true},
    {kOutputConversion, "output conversion error", true},
    {kInputConversion, "input conversion error", true},
    {kArraySizeOverflow, "Cannot allocate array - overflow on array size calculation.", false},
    {kInvalidInteger, "invalid INTEGER", false},
    {kInvalidReal, "invalid REAL", false},
};

// Writes the whole line and its CR LF to standard error, unbuffered, so that
// nothing is lost when the run ends right after. A failed write has nowhere
// left to be reported to.
std::atomic<int> silent_scopes{0};

void WriteErrorRecord(std::string_view text) {
  if (silent_scopes.load(std::memory_order_relaxed) != 0) return;
  const std::string_view pieces[] = {text, "\r\n"};
  WriteStandardError(pieces, std::size(pieces));
}

}  // namespace

std::vector<int> DiagnosticNumbers() {
  std::vector<int> numbers;
  for (const DiagnosticText& d : kDiagnostics) numbers.push_back(d.number);
  return numbers;
}

std::string DiagnosticLine(int number, int unit, std::string_view path) {
  if (number == kFileInUse) {
    return LeafOf(std::string(path)) + " is in use by another program; close it and run again";
  }
  std::string line = kPrefix + std::to_string(number) + "): ";
  for (const DiagnosticText& d : kDiagnostics) {
    if (d.number != number) continue;
    line += d.text;
    if (d.names_file) {
      line += ", unit " + std::to_string(unit) + ", file ";
      line += path;
    }
    return line;
  }
  line += "unknown diagnostic";
  return line;
}

void RaiseDiagnostic(int number, int unit, std::string_view path) {
  WriteErrorRecord(DiagnosticLine(number, unit, path));
  throw RunEnded{number};
}

void RaiseValueDiagnostic(int number, int unit, std::string_view path, std::int64_t record_offset) {
  WriteErrorRecord(DiagnosticLine(number, unit, path));
  throw RunEnded{number, {.rule = StopRule::kUnreadableValue, .record_offset = record_offset}};
}

int ReportInsufficientMemory() {
  static_assert(kInsufficientMemory == 41);
  // The line is gathered from fixed pieces: nothing here needs memory.
  const std::string_view pieces[] = {kPrefix, "41): ", kInsufficientMemoryText, "\r\n"};
  WriteStandardError(pieces, std::size(pieces));
  return kInsufficientMemory;
}

void ReportOutputConversion(int unit, std::string_view path) {
  WriteErrorRecord(DiagnosticLine(kOutputConversion, unit, path));
}

void StopWithModelError(std::string_view text) {
  WriteErrorRecord(text);
  throw RunEnded{1};
}

void StopWithModelError(std::string_view text, const StopNote& note) {
  WriteErrorRecord(text);
  throw RunEnded{1, note};
}

SilentDiagnostics::SilentDiagnostics() { silent_scopes.fetch_add(1, std::memory_order_relaxed); }
SilentDiagnostics::~SilentDiagnostics() { silent_scopes.fetch_sub(1, std::memory_order_relaxed); }

void PrintWarning(std::string_view text) { WriteErrorRecord(text); }

std::string Counted(std::int64_t count, std::string_view one, std::string_view more) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : more);
}

std::string OutputsMixed(std::string_view paths) {
  return " Warning: the outputs are mixed: " + std::string(paths) +
         " rewritten before the run failed, the others as they were";
}

std::string WaitingForLock(std::string_view directory, std::int64_t holder) {
  std::string text = " Waiting for another run";
  if (holder > 0) text += " (process " + std::to_string(holder) + ")";
  return text + " to finish putting its outputs in place in " + std::string(directory);
}

std::string LocksUnsupported(std::string_view directory) {
  return " Warning: the file system of " + std::string(directory) +
         " keeps no locks: concurrent runs in that directory are not kept apart";
}

std::string OutputsLeftMixed(std::string_view which) {
  return " Warning: the outputs are mixed: " + std::string(which) +
         "; every copy is kept, and the next run in that directory puts one run's outputs back";
}

namespace {
std::string Range(std::int32_t last) { return ", outside 1 to " + std::to_string(last); }
}  // namespace

std::string ElementNumberOutOfRange(std::int32_t element, std::int32_t element_count) {
  return " ANSYS cdb file error: element number " + std::to_string(element) + Range(element_count);
}

std::string ElementNodeOutOfRange(std::int32_t element, std::int32_t node,
                                  std::int32_t node_count) {
  return " ANSYS cdb file error: element " + std::to_string(element) + " has node " +
         std::to_string(node) + Range(node_count);
}

std::string ElementNotSurface(std::int32_t element, std::int32_t nodes) {
  return " ANSYS cdb file error: element " + std::to_string(element) + " has " +
         Counted(nodes, "node", "nodes") + ", not a surface element";
}

std::string ElementOfRefusedType(std::int32_t element, std::string_view name,
                                 std::string_view what) {
  std::string text = " ANSYS cdb file error: element " + std::to_string(element) + " (";
  text.append(name).append(") is ").append(what).append(", not a surface element");
  return text;
}

std::string ConstraintNodeIgnored(std::int32_t node, std::int32_t node_count) {
  return " Warning: constraint on node " + std::to_string(node) + " ignored" + Range(node_count);
}

std::string PressureElementOutOfRange(std::int32_t element, std::int32_t element_count) {
  return " Warning: pressure on element " + std::to_string(element) + " ignored" +
         Range(element_count);
}

std::string PressureElementWithoutTriangles(std::int32_t element) {
  return " Warning: pressure on element " + std::to_string(element) +
         " ignored, no boundary element record carries it";
}

std::string PressureUsesSecondTriangle(std::int32_t element) {
  return " Warning: pressure on element " + std::to_string(element) +
         ": first triangle has no normal, the second triangle's normal is used";
}

std::string PressureWithoutNormal(std::int32_t element) {
  return " Warning: pressure on element " + std::to_string(element) +
         " ignored, neither of its triangles has a normal";
}

std::string PressureKeyNotFacePressure(std::int32_t element, std::int32_t key) {
  return " Warning: pressure on element " + std::to_string(element) + " ignored, key " +
         std::to_string(key) + " is not a face pressure";
}

std::string CellsLeftOutOfVtu(std::int64_t count, const char* kind, std::int64_t first,
                              std::int32_t corner, std::int64_t last) {
  return " Warning: " + Counted(count, kind, std::string(kind) + "s") +
         " left out of the .vtu, a corner is no point of it; the first is " + kind + " " +
         std::to_string(first) + " with corner " + std::to_string(corner) + ", outside 1 to " +
         std::to_string(last);
}

namespace {
constexpr std::string_view kModelError = " ANSYS cdb file error: ";
std::string ModelError(std::string_view text) { return std::string(kModelError).append(text); }
}  // namespace

std::string ElementRecordTooShort() {
  return ModelError("an element record holds fewer than 11 values");
}

std::string NumberGivenTwice(std::string_view kind, std::int32_t number) {
  return ModelError(std::string(kind) + " " + std::to_string(number) + " is given twice");
}

std::string FieldComponentAlone(std::string_view given, std::string_view missing) {
  return ModelError("a " + std::string(given) + " component without a " + std::string(missing) +
                    " component");
}

std::string ElementCornerRefused(std::string_view kind, std::int32_t element, std::int32_t node,
                                 std::string_view why) {
  return ModelError(std::string(kind) + " " + std::to_string(element) + " has corner node " +
                    std::to_string(node) + std::string(why));
}

std::string ElementWithoutCorners(std::int32_t element, std::int32_t nodes, int corners) {
  return ModelError("element " + std::to_string(element) + " has " + std::to_string(nodes) +
                    " nodes, fewer than its " + std::to_string(corners) + " corners");
}

std::string ElementNotVolume(std::int32_t element, std::string_view name, std::string_view what) {
  return ModelError("element " + std::to_string(element) + " (" + std::string(name) + ") is " +
                    std::string(what) + ", not a volume element");
}

std::string SurfaceEffectCrossed(std::int32_t element, std::string_view name) {
  return ModelError("element " + std::to_string(element) + " (" + std::string(name) +
                    ") lies on a skin face with its corners crossed");
}

std::string SurfaceEffectsOffTheSkin(std::int64_t count) {
  return " Warning: " + Counted(count, "surface-effect element", "surface-effect elements") +
         " ignored, not on a skin face, and the pressures on them";
}

std::string LeaveOutNameAbsent(std::string_view name) {
  return ModelError("--leave-out: no local type of the model is " + std::string(name));
}

std::string NoModelBlock(std::string_view block) {
  return ModelError("no " + std::string(block) + ", the file holds no model");
}

std::string ConstraintsDropped(std::int64_t count, std::string_view why) {
  return " Warning: " + std::to_string(count) + (count == 1 ? " constraint" : " constraints") +
         " ignored, " + std::string(why);
}

std::string PressuresDropped(std::int64_t count, std::string_view why) {
  return " Warning: " + std::to_string(count) + (count == 1 ? " pressure" : " pressures") +
         " ignored, " + std::string(why);
}

std::string RotatedNodeConstrained(std::int32_t node, int direction) {
  static constexpr const char* kLabels[] = {"UX", "UY", "UZ"};
  static constexpr const char* kAxes[] = {"x", "y", "z"};
  const auto d = static_cast<std::size_t>(direction - 1);
  return ModelError("node " + std::to_string(node) + " has rotated axes: its " + kLabels[d] +
                    " constraint does not act along " + kAxes[d]);
}

std::string NotClosedSurface(std::int64_t open, std::int64_t non_manifold, std::int64_t conflicts) {
  return " Warning: the triangles are no closed surface: " +
         Counted(open, "open edge", "open edges") + ", " +
         Counted(non_manifold, "non-manifold edge", "non-manifold edges") + ", " +
         Counted(conflicts, "orientation conflict", "orientation conflicts") +
         "; the solver needs the closed boundary of the body: see cdb2bem --check";
}

std::string LoadsNotTranslated(std::int64_t count, std::string_view what, std::string_view advice) {
  return " Warning: " + Counted(count, "record", "records") + " of " + std::string(what) +
         " not translated: " + std::string(advice);
}

std::string ConstraintsReachNoTriangle(std::int64_t count) {
  return " Warning: " + Counted(count, "constrained node reaches", "constrained nodes reach") +
         " no triangle: a triangle takes a displacement only where all three corners are "
         "constrained in its direction; constrain whole faces";
}

std::string SeveralMaterials(std::int64_t count) {
  return " Warning: the elements use " + std::to_string(count) +
         " materials; input.dat gives the solver one, E = 1.0 and v = 0.3: translate the parts "
         "of each material apart";
}

std::string MaterialNotWritten(std::int32_t material, std::string_view constants) {
  return " Warning: material " + std::to_string(material) + " has " + std::string(constants) +
         "; input.dat gives the solver E = 1.0 and v = 0.3: translate with --material to give "
         "it the model's";
}

std::string MaterialOptionSeveral(std::int64_t count) {
  return ModelError("--material: the elements use " + std::to_string(count) +
                    " materials, input.dat holds one");
}

std::string MaterialOptionLacks(std::int32_t material, std::string_view what) {
  return ModelError("--material: material " + std::to_string(material) + " has no " +
                    std::string(what));
}

std::string MaterialOptionByTemperature(std::int32_t material, std::string_view label) {
  return ModelError("--material: the " + std::string(label) + " of material " +
                    std::to_string(material) +
                    " is given at more than one temperature, input.dat holds one value");
}

std::string MaterialOptionTooLong(std::int32_t material) {
  return ModelError("--material: the constants of material " + std::to_string(material) +
                    " are too long for the material record of input.dat");
}

std::string VtuNameRefused(std::string_view name) {
  return "--vtu '" + std::string(name) +
         "': the name does not end in .vtu; the file would be replaced";
}

std::string VtuContentRefused(std::string_view name) {
  return "--vtu '" + std::string(name) +
         "' is a file that is not VTK XML; it would be replaced: remove it or name another";
}
