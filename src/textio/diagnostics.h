// Run diagnostics: the one place that prints a failure and ends the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The rule of the model file a reader met where it stopped the run.
enum class StopRule : std::uint8_t {
  kNone,             // no reader noted where it stopped
  kUnreadableValue,  // a field that no integer or real rule reads
  kTypeNotSurface,   // an element of a type that is no surface element
  kTypeNotVolume,    // --skin: an element of a type that is no volume element
  kNodesNotSurface,  // an element whose node count no surface element has
  kStructure,        // a FINISH before the offset header
  kRotatedNode,      // a constraint across the rotated axes of its node
  kOutsideCounts,    // an element number or corner node beyond the header's counts
  kCornerRefused,    // a rebuilt model's corner node: 0, not in the node block, a field point
};

/// Where a reader stopped the run, and by which rule; what it does not know
/// stays 0 (record_offset: -1).
struct StopNote {
  StopRule rule = StopRule::kNone;
  std::int64_t record_offset = -1;  // byte offset of the record in the model file
  std::int32_t element = 0;
  std::int32_t itype = 0;  // the element's local type
  std::int32_t node = 0;
  int direction = 0;  // 1 to 3 for UX, UY, UZ
};

/// Thrown to end the run; only the entry point catches it. Unwinding closes
/// every file with what it holds. A refusal of the model carries where the
/// reader stopped.
struct RunEnded {
  int status;
  StopNote note{};
};

/// Unit numbers shown in diagnostics.
inline constexpr int kModelUnit = 5;
inline constexpr int kSolverInputUnit = 6;
inline constexpr int kPlotUnit = 8;
inline constexpr int kConsoleUnit = -1;

/// The numbered diagnostics of the run.
enum DiagnosticNumber : int {
  kPermissionDenied = 9,
  kEndOfFile = 24,
  kFileNotFound = 29,
  kOpenFailure = 30,
  kReadError = 39,
  kWriteError = 38,
  kInsufficientMemory = 41,
  kNoSuchDevice = 42,
  kFileNameError = 43,
  kSyntaxError = 59,
  kOutputConversion = 63,
  kInputConversion = 64,
  kArraySizeOverflow = 179,
  kInvalidInteger = 545,
  kInvalidReal = 547,
};

/// The status of a run that met one of its files held open by another
/// program (Windows), which says so in its own line, not a numbered one.
inline constexpr int kFileInUse = 4;

/// The numbers of the diagnostic table, in table order.
std::vector<int> DiagnosticNumbers();

/// The line "runerr: severe (N): " + the filled text, without line end; for
/// kFileInUse, "input.plt is in use by another program; close it and run again"
/// with the file's name.
std::string DiagnosticLine(int number, int unit, std::string_view path);

/// Prints the diagnostic line on standard error and ends the run with status
/// `number`. For diagnostics without a file, unit and path are not used.
[[noreturn]] void RaiseDiagnostic(int number, int unit = 0, std::string_view path = {});
/// The same for a value of the model that cannot be read, in the record
/// at byte `record_offset` (-1: not known).
[[noreturn]] void RaiseValueDiagnostic(int number, int unit, std::string_view path,
                                       std::int64_t record_offset);

/// Returns what `read` returns; a run that `read` ends without noting where
/// (or without the record of an unreadable value) is noted as stopped at an
/// unreadable value of the record at byte `record_offset`.
template <typename Read>
decltype(auto) NotingValueRecord(std::int64_t record_offset, Read&& read) {
  try {
    return read();
  } catch (RunEnded& ended) {
    const StopNote& note = ended.note;
    if (note.rule == StopRule::kNone ||
        (note.rule == StopRule::kUnreadableValue && note.record_offset < 0)) {
      ended.note = {.rule = StopRule::kUnreadableValue, .record_offset = record_offset};
    }
    throw;
  }
}

/// Prints diagnostic 41 without taking any memory, for a run that has run
/// out of it, and returns its number: the exit status.
int ReportInsufficientMemory();

/// Prints diagnostic 63 for the given file; the run goes on.
void ReportOutputConversion(int unit, std::string_view path);

/// Prints `text` as one record on standard error and ends the run, status 1:
/// a fault of the model file that the run refuses to translate.
[[noreturn]] void StopWithModelError(std::string_view text);
/// The same, with where the reader stopped.
[[noreturn]] void StopWithModelError(std::string_view text, const StopNote& note);

/// While one lives, diagnostic and warning lines are not printed: a model
/// read on trial (the check trying a remedy) ends or goes on as a run would,
/// silently.
class SilentDiagnostics {
 public:
  SilentDiagnostics();
  ~SilentDiagnostics();
  SilentDiagnostics(const SilentDiagnostics&) = delete;
  SilentDiagnostics& operator=(const SilentDiagnostics&) = delete;
};

/// Prints `text` as one record on standard error; the run goes on.
void PrintWarning(std::string_view text);

/// The structure error of a model file whose end comes before its header.
inline constexpr std::string_view kStructureErrorMessage = " ANSYS cdb file error!";

/// "1 node", "2 nodes": `count` and the word that agrees with it.
std::string Counted(std::int64_t count, std::string_view one, std::string_view more);

/// The refusal of a model file whose size or modification time changed
/// while the run read it.
inline constexpr std::string_view kModelChangedMessage =
    " ANSYS cdb file error: the file changed while it was read";

/// The warning after a failed run that has changed some outputs
/// (`paths`, comma separated) but not all: the outputs are mixed.
std::string OutputsMixed(std::string_view paths);

/// Putting the outputs in place. A run that waits for another run's lock
/// on `directory`; `holder` is that run's process id, 0 when unknown.
std::string WaitingForLock(std::string_view directory, std::int64_t holder);
/// A directory whose file system keeps no locks.
std::string LocksUnsupported(std::string_view directory);
/// A failed run that could neither finish nor undo its replacement:
/// `which` tells where each output's files are.
std::string OutputsLeftMixed(std::string_view which);

/// Messages of the run's own checks (numbers outside the tables).
std::string ElementNumberOutOfRange(std::int32_t element, std::int32_t element_count);
std::string ElementNodeOutOfRange(std::int32_t element, std::int32_t node, std::int32_t node_count);
std::string ElementNotSurface(std::int32_t element, std::int32_t nodes);
/// Element `element` of type `name` ("SOLID185") is `what` ("a volume element").
std::string ElementOfRefusedType(std::int32_t element, std::string_view name,
                                 std::string_view what);
std::string ConstraintNodeIgnored(std::int32_t node, std::int32_t node_count);
std::string PressureElementOutOfRange(std::int32_t element, std::int32_t element_count);
std::string PressureElementWithoutTriangles(std::int32_t element);
std::string PressureUsesSecondTriangle(std::int32_t element);
std::string PressureWithoutNormal(std::int32_t element);
std::string PressureKeyNotFacePressure(std::int32_t element, std::int32_t key);
/// Refusals of the translations that rebuild the model (renumbered, skin).
std::string ElementRecordTooShort();
/// "node 17 is given twice"; `kind` is "node" or "element".
std::string NumberGivenTwice(std::string_view kind, std::int32_t number);
/// A FIELDPOINTS or FIELDCELLS component (`given`) without the other one.
std::string FieldComponentAlone(std::string_view given, std::string_view missing);
/// Element `element` has corner node `node`, `why` (", which is not in the node block").
std::string ElementCornerRefused(std::string_view kind, std::int32_t element, std::int32_t node,
                                 std::string_view why);
std::string ElementWithoutCorners(std::int32_t element, std::int32_t nodes, int corners);
/// Element `element` of type `name` is `what`, not a volume element.
std::string ElementNotVolume(std::int32_t element, std::string_view name, std::string_view what);
/// Surface-effect element `element` of type `name` lies on a skin face with
/// its corners in neither of the face's orders.
std::string SurfaceEffectCrossed(std::int32_t element, std::string_view name);
/// `count` surface-effect elements on no skin face, dropped.
std::string SurfaceEffectsOffTheSkin(std::int64_t count);
/// A --leave-out list names `name`, an element that no local type of the
/// model is defined as.
std::string LeaveOutNameAbsent(std::string_view name);
/// The file holds no `block` ("node block").
std::string NoModelBlock(std::string_view block);
/// `count` constraints or pressures dropped, `why`.
std::string ConstraintsDropped(std::int64_t count, std::string_view why);
std::string PressuresDropped(std::int64_t count, std::string_view why);
/// The `why` of the two warnings above: renumbered, and as the skin.
inline constexpr std::string_view kConstraintsOffTheModel = "on nodes that are not in the model";
inline constexpr std::string_view kPressuresOffTheModel = "on elements that are not in the model";
inline constexpr std::string_view kConstraintsOffTheSkin = "on nodes that are not on the skin";
inline constexpr std::string_view kPressuresOffTheSkin =
    "not on a skin face (an interior or collapsed face, a key out of range, or no such volume "
    "element)";
/// `count` cells of a kind ("triangle", "field cell") left out of the .vtu,
/// the first being cell `first` with the corner `corner` outside 1 to `last`.
std::string CellsLeftOutOfVtu(std::int64_t count, const char* kind, std::int64_t first,
                              std::int32_t corner, std::int64_t last);
/// Node `node` has rotated axes and a constraint in `direction` (1 to 3).
std::string RotatedNodeConstrained(std::int32_t node, int direction);
/// Warnings of a successful translation: a surface with `open` open edges,
/// `non_manifold` non-manifold edges and `conflicts` orientation conflicts;
std::string NotClosedSurface(std::int64_t open, std::int64_t non_manifold, std::int64_t conflicts);
/// `count` records of `what` ("nodal forces and moments (F)") that the
/// solver input does not carry, and `advice`;
std::string LoadsNotTranslated(std::int64_t count, std::string_view what, std::string_view advice);
/// `count` constrained nodes that no displacement condition reaches;
std::string ConstraintsReachNoTriangle(std::int64_t count);
/// elements of `count` materials;
std::string SeveralMaterials(std::int64_t count);
/// the constants of `material` ("EX 2.0E+11 and PRXY 0.3") that differ from
/// those written.
std::string MaterialNotWritten(std::int32_t material, std::string_view constants);
/// Refusals of --material: the elements use `count` materials; material
/// `material` lacks `what` ("EX", "PRXY and NUXY"); `label` of `material` is
/// given by temperature; the record would be longer than a record can be.
std::string MaterialOptionSeveral(std::int64_t count);
std::string MaterialOptionLacks(std::int32_t material, std::string_view what);
std::string MaterialOptionByTemperature(std::int32_t material, std::string_view label);
std::string MaterialOptionTooLong(std::int32_t material);
/// The refusals of a --vtu FILE: a name that does not end in .vtu; an
/// existing file that is no VTK XML.
std::string VtuNameRefused(std::string_view name);
std::string VtuContentRefused(std::string_view name);
