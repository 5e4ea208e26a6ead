// What a run notes of the model beside its tables: the commands the solver
// input cannot carry, the material constants, the materials the boundary
// elements use and the boundary nodes with rotated axes. The warnings of a
// successful run and --material are made from them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// The kinds of load that the solver input does not take.
enum class UntakenLoad : std::uint8_t {
  kNodalForce,            // F
  kBodyLoad,              // BF, BFE, BFBLOCK, BFEBLOCK
  kInertia,               // ACEL, OMEGA, DOMEGA, CGOMEGA, DCGOMG with a value
  kOtherDegreeOfFreedom,  // D with a label other than UX, UY, UZ
  kPassedOverConstraint,  // D in UX, UY, UZ that the constraint reading did not take
  kOtherSurfaceLoad,      // SFE or SFEBLOCK of a label other than PRES
  kCoupling,              // CP, CE
};
inline constexpr std::size_t kUntakenLoadKinds =
    static_cast<std::size_t>(UntakenLoad::kCoupling) + 1;

/// One material constant as MP or MPDATA records give it: the value texts
/// as written (trimmed), in order.
struct MaterialConstant {
  std::string label;  // "EX", "PRXY", "NUXY"
  std::int32_t material = 0;
  std::vector<std::string> values;
  bool by_temperature = false;  // more than one value: an MPDATA count above 1, or a second MPDATA
};

struct ModelNotes {
  // Records of each kind of UntakenLoad, before the first record beginning "FINI".
  std::array<std::int64_t, kUntakenLoadKinds> untaken_loads{};
  // D records labelled UX, UY or UZ by their fields, and of them those the
  // constraint reading took: the difference is passed over.
  std::int64_t displacement_commands = 0;
  std::int64_t displacements_taken = 0;

  std::vector<MaterialConstant> constants;  // EX, PRXY and NUXY, in the order first given

  // The materials of the boundary elements (the volume elements of a skin),
  // each once, in the order first used.
  std::vector<std::int32_t> materials;

  // Boundary nodes with rotated axes, in block order: the node's number in
  // the tables, and the number to name it by.
  std::vector<std::pair<std::int32_t, std::int32_t>> rotated_nodes;

  std::int64_t untaken(UntakenLoad kind) const {
    return untaken_loads[static_cast<std::size_t>(kind)];
  }
  /// Notes the material of one boundary element.
  void NoteMaterial(std::int32_t element_material) {
    if (!materials.empty() && materials.back() == element_material) return;
    for (const std::int32_t m : materials) {
      if (m == element_material) return;
    }
    materials.push_back(element_material);
  }
  /// The constant `label` of `material`, or null.
  const MaterialConstant* Constant(std::string_view label, std::int32_t of_material) const;
};

/// Notes a command record of the model, one before the first record
/// beginning "FINI": a load the solver input does not take, a D command in
/// UX, UY or UZ, or an MP or MPDATA record of EX, PRXY or NUXY.
void NoteCommandRecord(std::string_view record, ModelNotes& notes);

/// The material of the boundary elements when they use one; null otherwise.
const std::int32_t* SingleMaterial(const ModelNotes& notes);

/// Poisson's ratio of `material`: PRXY, else NUXY; null without either.
const MaterialConstant* PoissonRatio(const ModelNotes& notes, std::int32_t material);

/// The material record of input.dat with the model's constants, as
/// --material writes it: six blanks, the EX text, seven blanks, the PRXY (else
/// NUXY) text, blanks up to 41 columns (at least one), then the comment.
/// Refuses the model (status 1, one line saying why) when the elements use
/// more than one material, or theirs lacks EX or both PRXY and NUXY, or gives
/// one of them at more than one temperature.
std::string ModelMaterialText(const ModelNotes& notes);
