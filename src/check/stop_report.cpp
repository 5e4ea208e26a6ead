#include "check/stop_report.h"

#include <climits>

#include "model/element_types.h"

namespace {

std::string Str(std::int64_t value) { return std::to_string(value); }

const LocalElementType* TypeOf(const ModelSurvey& s, std::int64_t itype) {
  if (itype < INT32_MIN || itype > INT32_MAX) return nullptr;
  return s.types.Find(static_cast<std::int32_t>(itype));
}

ElementClass ClassOf(const ModelSurvey& s, std::int64_t itype) {
  const LocalElementType* type = TypeOf(s, itype);
  return type == nullptr ? ElementClass::kUnknown : type->element_class;
}

// "element 7 (record 120)", the record when the second look found it.
std::string ElementAt(const RunEnded& refused, const ModelSurvey& s) {
  std::string text = "element " + Str(refused.note.element);
  if (s.stop_element_record != 0) text += " (record " + Str(s.stop_element_record) + ")";
  return text;
}

std::string TypeStop(const RunEnded& refused, const ModelSurvey& s, std::string_view expected) {
  const StopNote& note = refused.note;
  const LocalElementType* type = TypeOf(s, note.itype);
  const std::string what = type == nullptr ? std::string("a type the model does not define")
                                           : std::string(ClassPhrase(type->element_class));
  return "the run stopped at " + ElementAt(refused, s) + ", of " + NumberedTypeName(s, note.itype) +
         ": " + what + ", not " + std::string(expected);
}

// "UX", "UY" or "UZ" for direction 1 to 3.
std::string DirectionLabel(int direction) {
  return direction >= 1 && direction <= 3 ? std::string("U") + static_cast<char>('W' + direction)
                                          : "direction " + Str(direction);
}

}  // namespace

std::string NumberedTypeName(const ModelSurvey& s, std::int64_t itype) {
  const LocalElementType* type = TypeOf(s, itype);
  std::string name = "type " + Str(itype);
  if (type != nullptr && !type->name.empty()) name += ", " + type->name;
  return name;
}

std::string StopFact(const RunEnded& refused, const ModelSurvey& s) {
  const StopNote& note = refused.note;
  switch (note.rule) {
    case StopRule::kTypeNotSurface:
      return TypeStop(refused, s, "a surface element");
    case StopRule::kTypeNotVolume:
      return TypeStop(refused, s, "a volume element, of which --skin makes the skin");
    case StopRule::kNodesNotSurface:
      return "the run stopped at " + ElementAt(refused, s) + ", of " +
             NumberedTypeName(s, note.itype) + ": its node count is no surface element's";
    case StopRule::kStructure:
      return "the run stopped at the FINISH" +
             (s.stop_record != 0 ? " of record " + Str(s.stop_record) : std::string()) +
             " before the offset header: the run takes it for the end of the model";
    case StopRule::kRotatedNode:
      return "the run stopped at node " + Str(note.node) + ": its axes are rotated, and its " +
             DirectionLabel(note.direction) +
             " constraint does not act along the global axis the solver takes";
    case StopRule::kUnreadableValue:
      if (s.stop_record == 0) {
        return "the run stopped at a value that the reading rules do not read as a number "
               "(diagnostic " +
               Str(refused.status) + ")";
      }
      return "the run stopped at record " + Str(s.stop_record) +
             ": a value in it that the reading rules do not read as a number (diagnostic " +
             Str(refused.status) + ")";
    case StopRule::kOutsideCounts:
      if (note.node == 0) {
        return "the run stopped at " + ElementAt(refused, s) +
               ": its number lies outside 1 to the header's element count";
      }
      return "the run stopped at " + ElementAt(refused, s) + ": its corner node " + Str(note.node) +
             " lies outside 1 to the header's node count";
    case StopRule::kCornerRefused:
      return "the run stopped at " + ElementAt(refused, s) + ", at its corner node " +
             Str(note.node);
    case StopRule::kNone:
      break;
  }
  if (refused.status == kEndOfFile) {
    return "the run stopped at the end of the file: the model is cut short (a block cut in the "
           "middle, or no FINISH after the model)";
  }
  return {};
}

std::string StopRemedy(const RunEnded& refused) {
  if (refused.note.rule != StopRule::kRotatedNode) return {};
  return "nothing in cdb2bem applies a constraint along rotated axes: in ANSYS, give node " +
         Str(refused.note.node) +
         " the global axes (NROTAT) before constraining it, or constrain all three of its "
         "directions to zero";
}

std::string TriedRemedyLines(const TriedRemedy& tried, const ModelSurvey& s) {
  if (tried.command.empty()) return {};
  std::string what = tried.skin ? "translate the outer surface of the volume mesh"
                                : "number the nodes and elements anew";
  for (std::size_t k = 0; k < tried.left_out.size(); ++k) {
    what += k == 0                           ? ", leaving out the elements of "
            : k + 1 == tried.left_out.size() ? " and "
                                             : ", ";
    what += NumberedTypeName(s, tried.left_out[k]);
  }
  if (tried.passed) {
    return "likely remedy: " + what + " (tried on the model, it gets through):\n  " +
           tried.command + "\n";
  }
  std::string text =
      "likely remedy: nothing in cdb2bem translates this model as it stands: " + tried.command +
      " (" + what + "), tried on the model, stops too";
  const std::string stop = StopFact(tried.stopped, s);
  if (!stop.empty()) text += " (" + stop.substr(std::string_view("the run ").size()) + ")";
  return text + "\n";
}

bool UsesVolumeTypes(const ModelSurvey& s) {
  for (const UsedType& used : s.used_types) {
    if (ClassOf(s, used.itype) == ElementClass::kVolume) return true;
  }
  return false;
}

bool IsPlanarModel(const ModelSurvey& s) {
  bool area = false;
  for (const UsedType& used : s.used_types) {
    switch (ClassOf(s, used.itype)) {
      case ElementClass::kPlane:
      case ElementClass::kAxisymmetric:
        area = true;
        break;
      case ElementClass::kLine2D:
        break;
      default:
        return false;
    }
  }
  return area;
}

std::string UsedTypesFact(const ModelSurvey& s) {
  std::string text = "the element rows are of ";
  for (std::size_t k = 0; k < s.used_types.size(); ++k) {
    if (k != 0) text += k + 1 == s.used_types.size() ? " and " : ", ";
    text += NumberedTypeName(s, s.used_types[k].itype) + " (" +
            Counted(s.used_types[k].elements, "element", "elements") + ")";
  }
  return text;
}
