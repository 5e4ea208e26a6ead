#include "model/element_types.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "textio/command_fields.h"
#include "textio/number_read.h"

namespace {

using C = ElementClass;

// Every ANSYS element number whose class is known, by increasing number.
constexpr AnsysElement kAnsysElements[] = {
    {1, "LINK1", C::kLine2D},
    {2, "PLANE2", C::kPlane},
    {3, "BEAM3", C::kLine2D},
    {4, "BEAM4", C::kLine3D},
    {5, "SOLID5", C::kVolume},
    {7, "COMBIN7", C::kSpecial},
    {8, "LINK8", C::kLine3D},
    {9, "INFIN9", C::kLine2D},
    {10, "LINK10", C::kLine3D},
    {11, "LINK11", C::kLine3D},
    {12, "CONTAC12", C::kContact},
    {13, "PLANE13", C::kPlane},
    {14, "COMBIN14", C::kLine3D},
    {16, "PIPE16", C::kLine3D},
    {17, "PIPE17", C::kLine3D},
    {18, "PIPE18", C::kLine3D},
    {19, "SURF19", C::kLine2D},
    {20, "PIPE20", C::kLine3D},
    {21, "MASS21", C::kPoint},
    {22, "SURF22", C::kSurface},
    {23, "BEAM23", C::kLine2D},
    {24, "BEAM24", C::kLine3D},
    {25, "PLANE25", C::kPlane},
    {26, "CONTAC26", C::kContact},
    {27, "MATRIX27", C::kSpecial},
    {28, "SHELL28", C::kSurface},
    {29, "FLUID29", C::kPlane},
    {30, "FLUID30", C::kVolume},
    {31, "LINK31", C::kLine3D},
    {32, "LINK32", C::kLine2D},
    {33, "LINK33", C::kLine3D},
    {34, "LINK34", C::kLine3D},
    {35, "PLANE35", C::kPlane},
    {36, "SOURC36", C::kSpecial},
    {37, "COMBIN37", C::kLine3D},
    {38, "FLUID38", C::kLine3D},
    {39, "COMBIN39", C::kLine3D},
    {40, "COMBIN40", C::kLine3D},
    {41, "SHELL41", C::kSurface},
    {42, "PLANE42", C::kPlane},
    {43, "SHELL43", C::kSurface},
    {44, "BEAM44", C::kLine3D},
    {45, "SOLID45", C::kVolume},
    {46, "SOLID46", C::kVolume},
    {47, "INFIN47", C::kSurface},
    {48, "CONTAC48", C::kContact},
    {49, "CONTAC49", C::kContact},
    {50, "MATRIX50", C::kSpecial},
    {51, "SHELL51", C::kLine2D},
    {52, "CONTAC52", C::kContact},
    {53, "PLANE53", C::kPlane},
    {54, "BEAM54", C::kLine2D},
    {55, "PLANE55", C::kPlane},
    {56, "HYPER56", C::kPlane},
    {57, "SHELL57", C::kSurface},
    {58, "HYPER58", C::kVolume},
    {59, "PIPE59", C::kLine3D},
    {60, "PIPE60", C::kLine3D},
    {61, "SHELL61", C::kLine2D},
    {62, "SOLID62", C::kVolume},
    {63, "SHELL63", C::kSurface},
    {64, "SOLID64", C::kVolume},
    {65, "SOLID65", C::kVolume},
    {66, "FLUID66", C::kLine3D},
    {67, "PLANE67", C::kPlane},
    {68, "LINK68", C::kLine3D},
    {69, "SOLID69", C::kVolume},
    {70, "SOLID70", C::kVolume},
    {71, "MASS71", C::kPoint},
    {72, "SOLID72", C::kVolume},
    {73, "SOLID73", C::kVolume},
    {74, "HYPER74", C::kPlane},
    {75, "PLANE75", C::kPlane},
    {77, "PLANE77", C::kPlane},
    {78, "PLANE78", C::kPlane},
    {79, "FLUID79", C::kPlane},
    {80, "FLUID80", C::kVolume},
    {81, "FLUID81", C::kPlane},
    {82, "PLANE82", C::kPlane},
    {83, "PLANE83", C::kPlane},
    {84, "HYPER84", C::kPlane},
    {86, "HYPER86", C::kVolume},
    {87, "SOLID87", C::kVolume},
    {88, "VISCO88", C::kPlane},
    {89, "VISCO89", C::kVolume},
    {90, "SOLID90", C::kVolume},
    {91, "SHELL91", C::kSurface},
    {92, "SOLID92", C::kVolume},
    {93, "SHELL93", C::kSurface},
    {94, "CIRCU94", C::kSpecial},
    {95, "SOLID95", C::kVolume},
    {96, "SOLID96", C::kVolume},
    {97, "SOLID97", C::kVolume},
    {98, "SOLID98", C::kVolume},
    {99, "SHELL99", C::kSurface},
    {106, "VISCO106", C::kPlane},
    {107, "VISCO107", C::kVolume},
    {108, "VISCO108", C::kPlane},
    {109, "TRANS109", C::kPlane},
    {110, "INFIN110", C::kPlane},
    {111, "INFIN111", C::kSpecial},
    {116, "FLUID116", C::kLine3D},
    {117, "SOLID117", C::kVolume},
    {118, "HF118", C::kPlane},
    {119, "HF119", C::kVolume},
    {120, "HF120", C::kVolume},
    {121, "PLANE121", C::kPlane},
    {122, "SOLID122", C::kVolume},
    {123, "SOLID123", C::kVolume},
    {124, "CIRCU124", C::kSpecial},
    {125, "CIRCU125", C::kSpecial},
    {126, "TRANS126", C::kSpecial},
    {127, "SOLID127", C::kVolume},
    {128, "SOLID128", C::kVolume},
    {129, "FLUID129", C::kLine2D},
    {130, "FLUID130", C::kSurface},
    {131, "SHELL131", C::kSurface},
    {132, "SHELL132", C::kSurface},
    {136, "FLUID136", C::kSurface},
    {138, "FLUID138", C::kLine3D},
    {139, "FLUID139", C::kLine3D},
    {141, "FLUID141", C::kPlane},
    {142, "FLUID142", C::kVolume},
    {143, "SHELL143", C::kSurface},
    {144, "ROM144", C::kSpecial},
    {145, "PLANE145", C::kPlane},
    {146, "PLANE146", C::kPlane},
    {147, "SOLID147", C::kVolume},
    {148, "SOLID148", C::kVolume},
    {150, "SHELL150", C::kSurface},
    {151, "SURF151", C::kLine2D},
    {152, "SURF152", C::kSurface},
    {153, "SURF153", C::kLine2D},
    {154, "SURF154", C::kSurface},
    {155, "SURF155", C::kLine3D},
    {156, "SURF156", C::kLine3D},
    {157, "SHELL157", C::kSurface},
    {158, "HYPER158", C::kVolume},
    {159, "SURF159", C::kAxisymmetric},
    {160, "LINK160", C::kLine3D},
    {161, "BEAM161", C::kLine3D},
    {162, "PLANE162", C::kPlane},
    {163, "SHELL163", C::kSurface},
    {164, "SOLID164", C::kVolume},
    {165, "COMBI165", C::kLine3D},
    {166, "MASS166", C::kPoint},
    {167, "LINK167", C::kLine3D},
    {168, "SOLID168", C::kVolume},
    {169, "TARGE169", C::kContact},
    {170, "TARGE170", C::kContact},
    {171, "CONTA171", C::kContact},
    {172, "CONTA172", C::kContact},
    {173, "CONTA173", C::kContact},
    {174, "CONTA174", C::kContact},
    {175, "CONTA175", C::kContact},
    {176, "CONTA176", C::kContact},
    {177, "CONTA177", C::kContact},
    {178, "CONTA178", C::kContact},
    {179, "PRETS179", C::kSpecial},
    {180, "LINK180", C::kLine3D},
    {181, "SHELL181", C::kSurface},
    {182, "PLANE182", C::kPlane},
    {183, "PLANE183", C::kPlane},
    {184, "MPC184", C::kSpecial},
    {185, "SOLID185", C::kVolume},
    {186, "SOLID186", C::kVolume},
    {187, "SOLID187", C::kVolume},
    {188, "BEAM188", C::kLine3D},
    {189, "BEAM189", C::kLine3D},
    {190, "SOLSH190", C::kVolume},
    {191, "SOLID191", C::kVolume},
    {192, "INTER192", C::kSpecial},
    {193, "INTER193", C::kSpecial},
    {194, "INTER194", C::kSpecial},
    {195, "INTER195", C::kSpecial},
    {200, "MESH200", C::kMesh200},
    {201, "FOLLW201", C::kPoint},
    {202, "INTER202", C::kSpecial},
    {203, "INTER203", C::kSpecial},
    {204, "INTER204", C::kSpecial},
    {205, "INTER205", C::kSpecial},
    {208, "SHELL208", C::kLine2D},
    {209, "SHELL209", C::kLine2D},
    {212, "CPT212", C::kPlane},
    {213, "CPT213", C::kPlane},
    {214, "COMBI214", C::kLine2D},
    {215, "CPT215", C::kVolume},
    {216, "CPT216", C::kVolume},
    {217, "CPT217", C::kVolume},
    {220, "FLUID220", C::kVolume},
    {221, "FLUID221", C::kVolume},
    {222, "PLANE222", C::kPlane},
    {223, "PLANE223", C::kPlane},
    {225, "SOLID225", C::kVolume},
    {226, "SOLID226", C::kVolume},
    {227, "SOLID227", C::kVolume},
    {228, "LINK228", C::kLine3D},
    {230, "PLANE230", C::kPlane},
    {231, "SOLID231", C::kVolume},
    {232, "SOLID232", C::kVolume},
    {233, "PLANE233", C::kPlane},
    {236, "SOLID236", C::kVolume},
    {237, "SOLID237", C::kVolume},
    {238, "PLANE238", C::kPlane},
    {239, "SOLID239", C::kVolume},
    {240, "SOLID240", C::kVolume},
    {241, "HSFLD241", C::kSpecial},
    {242, "HSFLD242", C::kSpecial},
    {243, "FLUID243", C::kPlane},
    {244, "FLUID244", C::kPlane},
    {250, "COMBI250", C::kLine3D},
    {251, "SURF251", C::kLine2D},
    {252, "SURF252", C::kSurface},
    {257, "INFIN257", C::kSpecial},
    {263, "REINF263", C::kSpecial},
    {264, "REINF264", C::kSpecial},
    {265, "REINF265", C::kSpecial},
    {272, "SOLID272", C::kAxisymmetric},
    {273, "SOLID273", C::kAxisymmetric},
    {278, "SOLID278", C::kVolume},
    {279, "SOLID279", C::kVolume},
    {280, "CABLE280", C::kLine3D},
    {281, "SHELL281", C::kSurface},
    {285, "SOLID285", C::kVolume},
    {288, "PIPE288", C::kLine3D},
    {289, "PIPE289", C::kLine3D},
    {290, "ELBOW290", C::kLine3D},
    {291, "SOLID291", C::kVolume},
    {292, "PLANE292", C::kPlane},
    {293, "PLANE293", C::kPlane},
};

constexpr bool IsSortedByNumber() {
  for (std::size_t k = 1; k < std::size(kAnsysElements); ++k) {
    if (kAnsysElements[k - 1].number >= kAnsysElements[k].number) return false;
  }
  return true;
}
static_assert(IsSortedByNumber(), "the table is searched by number");

constexpr std::int32_t kMesh200 = 200;

// The tetrahedron families: corners at node positions 1-4.
constexpr std::int32_t kTetrahedronNumbers[] = {72,  87,  92,  98,  119, 123, 127, 148, 158, 168,
                                                187, 217, 221, 227, 232, 237, 240, 285, 291};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// An integer field (blanks around it allowed), or nothing.
std::optional<std::int32_t> IntegerField(std::string_view text) {
  text = Trimmed(text);
  std::int32_t value = 0;
  if (text.empty() || !ParseIntegerField(text, value)) return std::nullopt;
  return value;
}

bool BeginsWith(std::string_view record, std::string_view word) {
  return record.substr(0, word.size()) == word;
}

}  // namespace

std::span<const AnsysElement> AnsysElements() { return kAnsysElements; }

const AnsysElement* FindAnsysElement(std::int32_t number) {
  const auto* found = std::lower_bound(
      std::begin(kAnsysElements), std::end(kAnsysElements), number,
      [](const AnsysElement& row, std::int32_t wanted) { return row.number < wanted; });
  return found != std::end(kAnsysElements) && found->number == number ? found : nullptr;
}

std::int32_t AnsysElementNumber(std::string_view name) {
  for (const AnsysElement& row : kAnsysElements) {
    if (SameIgnoringCase(row.name, name)) return row.number;
  }
  return 0;
}

ElementClass ClassOfElement(std::int32_t number, std::int32_t keyopt1) {
  const AnsysElement* row = FindAnsysElement(number);
  if (row == nullptr) return C::kUnknown;
  if (row->element_class != C::kMesh200) return row->element_class;
  if (keyopt1 >= 0 && keyopt1 <= 1) return C::kLine2D;
  if (keyopt1 >= 2 && keyopt1 <= 3) return C::kLine3D;
  if (keyopt1 >= 4 && keyopt1 <= 7) return C::kSurface;
  if (keyopt1 >= 8 && keyopt1 <= 11) return C::kVolume;
  return C::kUnknown;
}

std::string_view ClassPhrase(ElementClass element_class) {
  switch (element_class) {
    case C::kSurface:
      return "a surface element";
    case C::kVolume:
      return "a volume element";
    case C::kPlane:
      return "a 2-D element";
    case C::kLine2D:
    case C::kLine3D:
      return "a line element";
    case C::kPoint:
      return "a point element";
    case C::kContact:
      return "a contact element";
    case C::kAxisymmetric:
      return "an axisymmetric element";
    case C::kSpecial:
      return "a special element";
    case C::kUnknown:
    case C::kMesh200:
      break;
  }
  return "an element of unknown kind";
}

std::string_view ClassCode(ElementClass element_class) {
  constexpr std::array<std::string_view, 11> kCodes = {"?",  "S3", "V",  "P2", "L2", "L3",
                                                       "PT", "CT", "GA", "O",  "K1"};
  return kCodes[static_cast<std::size_t>(element_class)];
}

bool IsTetrahedronFamily(std::int32_t number, std::int32_t keyopt1) {
  if (number == kMesh200) return keyopt1 == 8 || keyopt1 == 9;
  return std::find(std::begin(kTetrahedronNumbers), std::end(kTetrahedronNumbers), number) !=
         std::end(kTetrahedronNumbers);
}

const LocalElementType* ElementTypes::FindSorted(std::int32_t itype) const {
  const auto found = std::lower_bound(
      types_.begin(), types_.end(), itype,
      [](const LocalElementType& type, std::int32_t wanted) { return type.itype < wanted; });
  return found != types_.end() && found->itype == itype ? &*found : nullptr;
}

LocalElementType& ElementTypes::Entry(std::int32_t itype) {
  auto found = std::lower_bound(
      types_.begin(), types_.end(), itype,
      [](const LocalElementType& type, std::int32_t wanted) { return type.itype < wanted; });
  if (found == types_.end() || found->itype != itype) {
    found = types_.insert(found, LocalElementType{});
    found->itype = itype;
    // The places after it moved: the index is made anew.
    position_.clear();
    for (std::size_t k = 0; k < types_.size(); ++k) {
      const std::int32_t at = types_[k].itype;
      if (at < 0 || at >= kDenseTypes) continue;
      if (position_.size() <= static_cast<std::size_t>(at)) {
        position_.resize(static_cast<std::size_t>(at) + 1, 0);
      }
      position_[static_cast<std::size_t>(at)] = static_cast<std::int32_t>(k + 1);
    }
    found = types_.begin() + (found - types_.begin());
  }
  return *found;
}

void ElementTypes::Define(std::int32_t itype, std::int32_t number, std::int32_t keyopt1,
                          std::string_view given_name) {
  LocalElementType& type = Entry(itype);
  type.number = number;
  type.keyopt1 = keyopt1;
  type.element_class = ClassOfElement(number, keyopt1);
  const AnsysElement* row = FindAnsysElement(number);
  if (row != nullptr) {
    type.name = row->name;
  } else if (!given_name.empty()) {
    type.name = given_name;
  } else {
    type.name = "element " + std::to_string(number);
  }
}

void ElementTypes::TakeBlockRow(std::string_view record) {
  const std::vector<std::string_view> items = BlankSeparatedItems(record);
  const std::optional<std::int32_t> itype = items.empty() ? std::nullopt : IntegerField(items[0]);
  if (!itype || *itype == -1) {
    state_ = State::kRecords;  // the row -1, or anything else, ends the block
    if (!itype) Take(record);
    return;
  }
  const std::optional<std::int32_t> number =
      items.size() > 1 ? IntegerField(items[1]) : std::nullopt;
  if (!number) return;
  const std::optional<std::int32_t> keyopt1 =
      items.size() > 2 ? IntegerField(items[2]) : std::nullopt;
  Define(*itype, *number, keyopt1.value_or(kNoKeyopt), {});
}

void ElementTypes::Take(std::string_view record) {
  switch (state_) {
    case State::kEnded:
      return;
    case State::kBlockFormat:
      state_ = State::kBlockRows;
      return;
    case State::kBlockRows:
      TakeBlockRow(record);
      return;
    case State::kRecords:
      break;
  }
  if (BeginsWith(record, "EBLOCK") || BeginsWith(record, "FINISH")) {
    state_ = State::kEnded;
  } else if (BeginsWith(record, "ETBLOCK,")) {
    state_ = State::kBlockFormat;
  } else if (BeginsWith(record, "ET,")) {
    const std::vector<std::string_view> fields = CommandFields(record);
    const std::optional<std::int32_t> itype =
        fields.size() > 1 ? IntegerField(fields[1]) : std::nullopt;
    if (!itype || fields.size() < 3) return;
    const std::string_view given = Trimmed(fields[2]);
    const std::optional<std::int32_t> number = IntegerField(given);
    const std::optional<std::int32_t> keyopt1 =
        fields.size() > 3 ? IntegerField(fields[3]) : std::nullopt;
    if (number) {
      Define(*itype, *number, keyopt1.value_or(kNoKeyopt), {});
    } else {
      Define(*itype, AnsysElementNumber(given), keyopt1.value_or(kNoKeyopt), given);
    }
  } else if (BeginsWith(record, "KEYOP,") || BeginsWith(record, "KEYOPT,")) {
    const std::vector<std::string_view> fields = CommandFields(record);
    if (fields.size() < 4) return;
    const std::optional<std::int32_t> itype = IntegerField(fields[1]);
    const std::optional<std::int32_t> knum = IntegerField(fields[2]);
    const std::optional<std::int32_t> value = IntegerField(fields[3]);
    if (!itype || !knum || !value || *knum != 1) return;
    LocalElementType& type = Entry(*itype);
    type.keyopt1 = *value;
    type.element_class = ClassOfElement(type.number, type.keyopt1);
  }
}
