// What each element of a model is: the ANSYS element table, and the local
// element types that a model's ET, ETBLOCK and KEYOP records define.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The class of an ANSYS element number.
enum class ElementClass : std::uint8_t {
  kUnknown,       // not in the table, or a MESH200 without KEYOPT(1)
  kSurface,       // 3-D surface: shell, membrane, 3-D surface effect
  kVolume,        // brick, wedge, pyramid, tetrahedron
  kPlane,         // 2-D plane or axisymmetric area
  kLine2D,        // line element of a 2-D model
  kLine3D,        // line element of a 3-D model
  kPoint,         // mass
  kContact,       // contact or target
  kAxisymmetric,  // general axisymmetric
  kSpecial,       // matrix, interface, pretension, constraint, infinite, ...
  kMesh200,       // MESH200: the class follows KEYOPT(1)
};

/// The number of classes, for the arrays that they index.
inline constexpr std::size_t kElementClassCount =
    static_cast<std::size_t>(ElementClass::kMesh200) + 1;

/// One row of the ANSYS element table.
struct AnsysElement {
  std::int32_t number;
  std::string_view name;
  ElementClass element_class;
  /// A volume element's corners, its first nodes: 8, or 4 for a tetrahedron
  /// family; 0 for the other classes.
  int corners = 0;
  bool tetrahedron = false;
};

/// The ANSYS element table, by increasing number.
std::span<const AnsysElement> AnsysElements();

/// The row of an element number, or null when the table does not list it.
const AnsysElement* FindAnsysElement(std::int32_t number);

/// The element number of a name ("SOLID185", any case), or 0 when no row has it.
std::int32_t AnsysElementNumber(std::string_view name);

/// KEYOPT(1) not given.
inline constexpr std::int32_t kNoKeyopt = -1;

/// The class of element `number` with KEYOPT(1) `keyopt1`: a MESH200 takes
/// its class from KEYOPT(1) (0-3 line, 4-7 surface, 8-11 volume, else unknown).
ElementClass ClassOfElement(std::int32_t number, std::int32_t keyopt1);

/// Whether a model of elements of this class is refused by the translation:
/// every class but surface and unknown.
constexpr bool IsRefusedClass(ElementClass element_class) {
  return element_class != ElementClass::kUnknown && element_class != ElementClass::kSurface &&
         element_class != ElementClass::kMesh200;
}

/// "a volume element", "a 2-D element", ...: the class as the refusal names it.
std::string_view ClassPhrase(ElementClass element_class);

/// The table's short name of a class ("S3", "V", ...), as the check lists it.
std::string_view ClassCode(ElementClass element_class);

/// The corners of a volume element of this number, its first nodes: 4 for a
/// tetrahedron family (MESH200 with KEYOPT(1) 8 or 9 among them), 8 for a
/// brick.
int VolumeCorners(std::int32_t number, std::int32_t keyopt1);

/// One local element type as the model defines it.
struct LocalElementType {
  std::int32_t itype = 0;
  std::int32_t number = 0;  // the ANSYS element number; 0 when unknown
  std::int32_t keyopt1 = kNoKeyopt;
  ElementClass element_class = ElementClass::kUnknown;
  // "SOLID185"; the name ET gave or "element 999" for one not in the table;
  // empty when only a KEYOP named the type.
  std::string name;
};

/// The local element types of a model, from its type records in file order:
/// `ET,itype,number[,keyopt1]` (the number may be a name), `KEYOP,itype,knum,
/// value` or `KEYOPT,...`, and `ETBLOCK` blocks (a format record, then rows
/// `itype number keyopt1 ...` up to a row `-1`). Records are taken up to the
/// first that begins "EBLOCK" or "FINISH"; a later definition of a local type
/// replaces an earlier one.
class ElementTypes {
 public:
  /// Takes the next record of the file; records after the end change nothing.
  void Take(std::string_view record);
  /// The type records have ended (EBLOCK or FINISH met).
  bool ended() const { return state_ == State::kEnded; }
  /// Whether a record, by its first character, can matter to Take outside
  /// an ETBLOCK block.
  static bool MayMatter(char first) { return first == 'E' || first == 'K' || first == 'F'; }
  /// An ETBLOCK's rows follow: Take must see every record, blank ones included.
  bool InBlock() const { return state_ == State::kBlockFormat || state_ == State::kBlockRows; }

  /// No type is defined: nothing is known of the elements.
  bool empty() const { return types_.empty(); }
  /// The local type `itype`, or null when the model does not define it.
  /// One look-up per element record: local types numbered below
  /// kDenseTypes are found by index.
  const LocalElementType* Find(std::int32_t itype) const {
    if (itype >= 0 && static_cast<std::size_t>(itype) < position_.size()) {
      const std::int32_t at = position_[static_cast<std::size_t>(itype)];
      return at == 0 ? nullptr : &types_[static_cast<std::size_t>(at - 1)];
    }
    return FindSorted(itype);
  }
  /// The defined types, by increasing itype.
  const std::vector<LocalElementType>& types() const { return types_; }

 private:
  enum class State { kRecords, kBlockFormat, kBlockRows, kEnded };
  static constexpr std::int32_t kDenseTypes = 4096;
  const LocalElementType* FindSorted(std::int32_t itype) const;
  LocalElementType& Entry(std::int32_t itype);
  void Define(std::int32_t itype, std::int32_t number, std::int32_t keyopt1,
              std::string_view given_name);
  void TakeBlockRow(std::string_view record);

  State state_ = State::kRecords;
  std::vector<LocalElementType> types_;  // sorted by itype
  // For itype 0 to the highest defined one below kDenseTypes: its place in
  // types_ plus one, or 0 when undefined.
  std::vector<std::int32_t> position_;
};
