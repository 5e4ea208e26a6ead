#include "check/model_warnings.h"

#include <algorithm>
#include <cstdint>

#include "textio/diagnostics.h"
#include "textio/number_read.h"
#include "threads/parallel_records.h"

namespace {

// A 64-bit mix of a node number: the finaliser of splitmix64.
std::uint64_t Mix(std::int32_t node) {
  std::uint64_t x = static_cast<std::uint32_t>(node);
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

// h(a, b) - h(b, a) for the hash h(a, b) = u(a) w(b) of the directed edge
// (a, b), u being the mix of a node and w the same rotated by 32 bits: one
// mix a corner rather than two an edge.
std::uint64_t EdgeTerm(std::uint64_t ua, std::uint64_t ub) {
  const auto w = [](std::uint64_t u) { return (u << 32) | (u >> 32); };
  return ua * w(ub) - ub * w(ua);
}

}  // namespace

bool MayNotBeClosed(const RunTables& run, int jobs) {
  const std::size_t triangles = static_cast<std::size_t>(std::max(run.TriangleCount, 0));
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(std::max(jobs, 1)), 0);
  ForEachPart(jobs, triangles, [&](int part, std::size_t begin, std::size_t end) {
    std::uint64_t sum = 0;  // wraps: the sum is taken modulo 2^64
    for (std::size_t t = begin + 1; t <= end; ++t) {
      const std::int32_t* c = run.TriangleNodes.Column(static_cast<std::int64_t>(t));
      const std::uint64_t u0 = Mix(c[0]), u1 = Mix(c[1]), u2 = Mix(c[2]);
      sum += EdgeTerm(u0, u1) + EdgeTerm(u1, u2) + EdgeTerm(u2, u0);
    }
    sums[static_cast<std::size_t>(part)] += sum;
  });
  std::uint64_t total = 0;
  for (const std::uint64_t sum : sums) total += sum;
  return total != 0;
}

namespace {

struct LoadKindText {
  UntakenLoad kind;
  const char* what;
  const char* advice;
};

constexpr LoadKindText kLoadKindTexts[] = {
    {UntakenLoad::kNodalForce, "nodal forces and moments (F)",
     "the solver takes loads as element pressures (SFE with PRES)"},
    {UntakenLoad::kBodyLoad, "body loads (BF, BFE, BFBLOCK, BFEBLOCK)",
     "the solver takes no body loads"},
    {UntakenLoad::kInertia, "inertia (ACEL, OMEGA, DOMEGA, CGOMGA, DCGOMG)",
     "the solver takes no inertia loads"},
    {UntakenLoad::kOtherDegreeOfFreedom,
     "constraints of other degrees of freedom than UX, UY, UZ (D)",
     "the solver takes displacements only"},
    {UntakenLoad::kPassedOverConstraint, "UX, UY or UZ constraints the reading passes over (D)",
     "write them after the element block, node numbers of at most seven digits"},
    {UntakenLoad::kOtherSurfaceLoad, "surface loads other than pressures (SFE, SFEBLOCK)",
     "the solver takes pressures only"},
    {UntakenLoad::kCoupling, "couplings and constraint equations (CP, CE)",
     "the solver takes neither"},
};

// Boundary nodes constrained in a direction in which none of their
// triangles has all three corners constrained.
std::int64_t ConstraintsReachingNoTriangle(const RunTables& run) {
  if (!run.HasDisplacements || run.NodeCount <= 0) return 0;
  const auto given = [&run](std::int32_t n, int d) {
    return !(run.NodeDisplacements(d + 1, n) == kNotGiven);  // NaN counts as given
  };
  std::vector<std::uint8_t> reached(static_cast<std::size_t>(run.NodeCount) + 1, 0);
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* c = run.TriangleNodes.Column(t);
    for (int d = 0; d < 3; ++d) {
      if (!given(c[0], d) || !given(c[1], d) || !given(c[2], d)) continue;
      for (int k = 0; k < 3; ++k) reached[static_cast<std::size_t>(c[k])] |= std::uint8_t(1u << d);
    }
  }
  std::int64_t count = 0;
  for (std::int32_t n = 1; n <= run.NodeCount; ++n) {
    for (int d = 0; d < 3; ++d) {
      if (given(n, d) && (reached[static_cast<std::size_t>(n)] & (1u << d)) == 0) {
        ++count;
        break;
      }
    }
  }
  return count;
}

// A constant whose value is not `written` in some value given.
bool Differs(const MaterialConstant* constant, double written) {
  if (constant == nullptr) return false;
  return std::any_of(constant->values.begin(), constant->values.end(), [&](const std::string& v) {
    double value = 0.0;
    return !TryTextToReal(v, value) || value != written;
  });
}

// The material line: several materials, or the one differing from 1.0 and 0.3.
void AddMaterialWarning(const ModelNotes& notes, std::vector<std::string>& lines) {
  if (notes.materials.size() > 1) {
    lines.push_back(SeveralMaterials(static_cast<std::int64_t>(notes.materials.size())));
    return;
  }
  const std::int32_t* material = SingleMaterial(notes);
  if (material == nullptr) return;
  const MaterialConstant* ex = notes.Constant("EX", *material);
  const MaterialConstant* nu = PoissonRatio(notes, *material);
  if (!Differs(ex, 1.0) && !Differs(nu, 0.3)) return;
  std::string constants;
  for (const MaterialConstant* c : {ex, nu}) {
    if (c == nullptr || c->values.empty()) continue;
    if (!constants.empty()) constants += " and ";
    constants += c->label + " " + c->values.front();
    if (c->values.size() > 1 || c->by_temperature) constants += " (by temperature)";
  }
  lines.push_back(MaterialNotWritten(*material, constants));
}

}  // namespace

std::vector<std::string> TranslationWarnings(const RunTables& run, const SurfaceFindings* findings,
                                             bool material_written) {
  std::vector<std::string> lines;
  if (findings != nullptr &&
      findings->open_edges + findings->non_manifold_edges + findings->orientation_conflicts != 0) {
    lines.push_back(NotClosedSurface(findings->open_edges, findings->non_manifold_edges,
                                     findings->orientation_conflicts));
  }
  const ModelNotes& notes = run.Notes;
  for (const LoadKindText& kind : kLoadKindTexts) {
    // The constraints passed over are those by their fields less those taken.
    const std::int64_t count =
        kind.kind == UntakenLoad::kPassedOverConstraint
            ? std::max<std::int64_t>(notes.displacement_commands - notes.displacements_taken, 0)
            : notes.untaken(kind.kind);
    if (count != 0) lines.push_back(LoadsNotTranslated(count, kind.what, kind.advice));
  }
  if (const std::int64_t count = ConstraintsReachingNoTriangle(run); count != 0) {
    lines.push_back(ConstraintsReachNoTriangle(count));
  }
  if (!material_written) AddMaterialWarning(notes, lines);
  return lines;
}
