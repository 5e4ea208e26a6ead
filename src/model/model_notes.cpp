#include "model/model_notes.h"

#include "textio/command_fields.h"
#include "textio/diagnostics.h"
#include "textio/number_read.h"

const MaterialConstant* ModelNotes::Constant(std::string_view label,
                                             std::int32_t of_material) const {
  for (const MaterialConstant& constant : constants) {
    if (constant.label == label && constant.material == of_material) return &constant;
  }
  return nullptr;
}

namespace {

void Count(ModelNotes& notes, UntakenLoad kind) {
  ++notes.untaken_loads[static_cast<std::size_t>(kind)];
}

// A value field that is given and is not 0; one that does not convert is
// not 0.
bool IsNonZeroValue(std::string_view field) {
  const std::string_view text = Trimmed(field);
  double value = 0.0;
  return !text.empty() && (!TryTextToReal(text, value) || value != 0.0);
}

// ACEL, OMEGA, ... with a value that is not 0 in fields 2 to 4.
bool IsInertia(std::string_view record) {
  static constexpr std::string_view kCommands[] = {"ACEL,",    "OMEGA,",  "DOMEGA,",
                                                   "CGOMEGA,", "CGOMGA,", "DCGOMG,"};
  for (const std::string_view command : kCommands) {
    if (!record.starts_with(command)) continue;
    const std::vector<std::string_view> fields = CommandFields(record);
    for (std::size_t k = 1; k <= 3; ++k) {
      if (IsNonZeroValue(FieldAt(fields, k))) return true;
    }
    return false;
  }
  return false;
}

bool IsTakenMaterialLabel(std::string_view label) {
  return label == "EX" || label == "PRXY" || label == "NUXY";
}

MaterialConstant& ConstantOf(ModelNotes& notes, std::string_view label, std::int32_t material,
                             bool& given_before) {
  for (MaterialConstant& constant : notes.constants) {
    if (constant.label == label && constant.material == material) {
      given_before = true;
      return constant;
    }
  }
  given_before = false;
  notes.constants.push_back({std::string(label), material, {}, false});
  return notes.constants.back();
}

// MP,label,material,value: a later one replaces the constant.
void NoteMp(const std::vector<std::string_view>& fields, ModelNotes& notes) {
  const std::string_view label = Trimmed(FieldAt(fields, 1));
  std::int32_t material = 0;
  if (!IsTakenMaterialLabel(label) || !TryTextToInteger(Trimmed(FieldAt(fields, 2)), material)) {
    return;
  }
  bool given_before = false;
  MaterialConstant& constant = ConstantOf(notes, label, material, given_before);
  constant.values = {std::string(Trimmed(FieldAt(fields, 3)))};
  constant.by_temperature = false;
}

// MPDATA,R5.0,count,label,material,start,values...: more than one value, or
// a second record, gives the constant by temperature.
void NoteMpdata(const std::vector<std::string_view>& fields, ModelNotes& notes) {
  const std::string_view label = Trimmed(FieldAt(fields, 3));
  std::int32_t count = 0;
  std::int32_t material = 0;
  if (!IsTakenMaterialLabel(label) || !TryTextToInteger(Trimmed(FieldAt(fields, 2)), count) ||
      !TryTextToInteger(Trimmed(FieldAt(fields, 4)), material)) {
    return;
  }
  bool given_before = false;
  MaterialConstant& constant = ConstantOf(notes, label, material, given_before);
  for (std::int32_t k = 0; k < count && k < 64; ++k) {
    constant.values.emplace_back(Trimmed(FieldAt(fields, 6 + static_cast<std::size_t>(k))));
  }
  constant.by_temperature = constant.by_temperature || given_before || count > 1;
}

void NoteDisplacement(std::string_view record, ModelNotes& notes) {
  const std::string_view label = Trimmed(CommandField(record, 2));
  if (label == "UX" || label == "UY" || label == "UZ") {
    ++notes.displacement_commands;
  } else {
    Count(notes, UntakenLoad::kOtherDegreeOfFreedom);
  }
}

// An SFE command of another label than PRES; neither its second value set
// nor the record that ends a pressure block ("SFE,end,...") counts again.
bool IsOtherSurfaceLoad(std::string_view record) {
  if (record.starts_with("SFEBLOCK,")) return Trimmed(CommandField(record, 2)) != "PRES";
  if (!record.starts_with("SFE,") || Trimmed(CommandField(record, 3)) == "PRES") return false;
  const std::string_view element = Trimmed(CommandField(record, 1));
  return Trimmed(CommandField(record, 4)) != "2" && element != "end" && element != "END";
}

}  // namespace

void NoteCommandRecord(std::string_view record, ModelNotes& notes) {
  if (record.size() < 2) return;
  switch (record[0]) {
    case 'A':
    case 'C':
    case 'O':
      if (record.starts_with("CP,") || record.starts_with("CE,")) {
        Count(notes, UntakenLoad::kCoupling);
      } else if (IsInertia(record)) {
        Count(notes, UntakenLoad::kInertia);
      }
      return;
    case 'B':
      if (record.starts_with("BF,") || record.starts_with("BFE,") ||
          record.starts_with("BFBLOCK") || record.starts_with("BFEBLOCK")) {
        Count(notes, UntakenLoad::kBodyLoad);
      }
      return;
    case 'D':
      if (record[1] == ',') {
        NoteDisplacement(record, notes);
      } else if (IsInertia(record)) {
        Count(notes, UntakenLoad::kInertia);
      }
      return;
    case 'F':
      if (record[1] == ',') Count(notes, UntakenLoad::kNodalForce);
      return;
    case 'M':
      if (record.starts_with("MP,")) NoteMp(CommandFields(record), notes);
      if (record.starts_with("MPDATA,")) NoteMpdata(CommandFields(record), notes);
      return;
    case 'S':
      if (IsOtherSurfaceLoad(record)) Count(notes, UntakenLoad::kOtherSurfaceLoad);
      return;
    default:
      return;
  }
}

const std::int32_t* SingleMaterial(const ModelNotes& notes) {
  return notes.materials.size() == 1 ? &notes.materials.front() : nullptr;
}

const MaterialConstant* PoissonRatio(const ModelNotes& notes, std::int32_t material) {
  const MaterialConstant* prxy = notes.Constant("PRXY", material);
  return prxy != nullptr ? prxy : notes.Constant("NUXY", material);
}

std::string ModelMaterialText(const ModelNotes& notes) {
  if (notes.materials.size() > 1) {
    StopWithModelError(MaterialOptionSeveral(static_cast<std::int64_t>(notes.materials.size())));
  }
  const std::int32_t material = notes.materials.empty() ? 0 : notes.materials.front();
  const MaterialConstant* ex = notes.Constant("EX", material);
  const MaterialConstant* nu = PoissonRatio(notes, material);
  const auto lacks = [](const MaterialConstant* c) {
    return c == nullptr || c->values.empty() || c->values.front().empty();
  };
  if (lacks(ex)) StopWithModelError(MaterialOptionLacks(material, "EX"));
  if (lacks(nu)) StopWithModelError(MaterialOptionLacks(material, "PRXY and no NUXY"));
  for (const MaterialConstant* constant : {ex, nu}) {
    if (constant->by_temperature || constant->values.size() != 1) {
      StopWithModelError(MaterialOptionByTemperature(material, constant->label));
    }
  }
  std::string text = "      " + ex->values.front() + "       " + nu->values.front() + " ";
  if (text.size() < 41) text.resize(41, ' ');
  text += "! Material constants E and v";
  // One free-form output record: its leading blank and at most 79 more.
  if (text.size() > 79) StopWithModelError(MaterialOptionTooLong(material));
  return text;
}
