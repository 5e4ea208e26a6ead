#include "check/check_report.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace {

std::string Integer(std::int64_t value) { return std::to_string(value); }

// The shortest text that reads back as the same value.
std::string Real(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value + 0.0);
  return std::string(text, result.ptr);
}

// Twelve significant digits, so that a script comparing volumes gets at
// least ten right whatever their size.
std::string Volume(double value) {
  char text[40];
  const auto result =
      std::to_chars(text, text + sizeof text, value + 0.0, std::chars_format::scientific, 11);
  return std::string(text, result.ptr);
}

void Figure(std::string& out, std::string_view label, std::string_view value) {
  out.append(label).append(": ").append(value).push_back('\n');
}

// "triangle 7 (element 4)": the solver's number and the element in ANSYS.
std::string TriangleName(const SurfaceFindings& f, std::int32_t t) {
  std::string name = "triangle " + Integer(t);
  const std::int32_t element = f.triangle_elements[static_cast<std::size_t>(t - 1)];
  if (element != 0) name += " (element " + Integer(element) + ")";
  return name;
}

std::string TriangleNames(const SurfaceFindings& f, const std::vector<std::int32_t>& triangles) {
  std::string names;
  for (std::size_t i = 0; i < triangles.size(); ++i) {
    if (i != 0) names += i + 1 == triangles.size() ? " and " : ", ";
    names += TriangleName(f, triangles[i]);
  }
  return names;
}

std::string EdgeName(const EdgeInstance& edge) {
  return "edge " + Integer(edge.nodes[0]) + "-" + Integer(edge.nodes[1]);
}

// "open edges (first 10 of 24):", or "open edges (3):" when all are shown.
void Heading(std::string& out, std::string_view kind, std::size_t shown, std::int64_t total) {
  out.append(kind).append(" (");
  if (static_cast<std::int64_t>(shown) < total)
    out += "first " + Integer(static_cast<std::int64_t>(shown)) + " of ";
  out += Integer(total) + "):\n";
}

void Item(std::string& out, std::string_view text) {
  out.append("  ").append(text).push_back('\n');
}

std::string Plural(std::int64_t count, std::string_view one, std::string_view more) {
  return Integer(count) + " " + std::string(count == 1 ? one : more);
}

void Problems(std::string& out, const SurfaceFindings& f) {
  if (f.problems == 0) return;
  Heading(out, "problems", static_cast<std::size_t>(f.problems), f.problems);
  if (f.open_edges != 0) {
    Item(out, Plural(f.open_edges, "open edge", "open edges") +
                  ": edges of one triangle only; the surface has a hole or a free border, and"
                  " a boundary-element model of a solid needs a closed surface");
  }
  if (f.non_manifold_edges != 0) {
    Item(out, Plural(f.non_manifold_edges, "non-manifold edge", "non-manifold edges") +
                  ": edges of more than two triangles; surfaces meet or cross there, and a"
                  " boundary-element model of a solid needs each edge shared by two triangles");
  }
  if (f.orientation_conflicts != 0) {
    Item(out, Plural(f.orientation_conflicts, "orientation conflict", "orientation conflicts") +
                  ": two triangles run the same way along the edge they share, so the corners"
                  " of one of them are in reversed order and its normal points the other way");
  }
  if (f.degenerate_triangles != 0) {
    Item(out, Plural(f.degenerate_triangles, "degenerate triangle", "degenerate triangles") +
                  ": zero area or a corner coordinate that is not finite; such a triangle has"
                  " no normal");
  }
  if (f.volume_not_positive) {
    Item(out,
         "the enclosed volume is not positive: the normals of the closed shells point into"
         " the body, so a pressure pulls instead of pushing; reverse the corner order of"
         " their elements");
  }
  if (f.no_displacement) {
    Item(out,
         "no triangle has a displacement condition: the body is free to move and the"
         " solver's system has no unique solution; constrain all three corner nodes of"
         " some triangles");
  }
}

// The ANSYS elements the model's records name, with their classes.
void ElementUses(std::string& out, const SurfaceFindings& f) {
  const std::size_t lines = f.element_uses.size() + (f.elements_of_undefined_type != 0 ? 1 : 0);
  if (lines == 0) return;
  Heading(out, "elements by type", lines, static_cast<std::int64_t>(lines));
  for (const ElementUse& use : f.element_uses) {
    Item(out, use.name + ": class " + std::string(ClassCode(use.element_class)) + ", " +
                  Plural(use.elements, "element", "elements"));
  }
  if (f.elements_of_undefined_type != 0) {
    Item(out, "no type defined: " + Plural(f.elements_of_undefined_type, "element", "elements"));
  }
}

// Why pressures read were not applied, one line per cause.
void PressuresNotApplied(std::string& out, const SurfaceFindings& f) {
  const PressureFigures& p = f.pressures;
  if (p.read == p.applied) return;
  out += "pressures not applied (" + Integer(p.read - p.applied) + "):\n";
  if (p.no_such_element != 0) {
    Item(out, Integer(p.no_such_element) +
                  " on no such element: a number outside the boundary elements, or one that"
                  " no element record carries");
  }
  if (p.other_key != 0) {
    Item(out, Integer(p.other_key) +
                  " with a key that is not a face pressure: only keys 1 and 2 are the faces of"
                  " a surface element, the others are edge or tangential loads");
  }
  if (p.no_normal != 0) {
    Item(out, Integer(p.no_normal) + " on an element neither of whose triangles has a normal");
  }
}

void EdgeList(std::string& out, const SurfaceFindings& f, std::string_view kind,
              const std::vector<EdgeInstance>& list, std::int64_t total) {
  if (total == 0) return;
  Heading(out, kind, list.size(), total);
  for (const EdgeInstance& edge : list)
    Item(out, EdgeName(edge) + ": " + TriangleNames(f, edge.triangles));
}

void Instances(std::string& out, const SurfaceFindings& f) {
  if (f.orientation_conflicts != 0) {
    Heading(out, "orientation conflicts", f.orientation_conflict_list.size(),
            f.orientation_conflicts);
    for (const EdgeInstance& edge : f.orientation_conflict_list) {
      Item(out, EdgeName(edge) + ": " + TriangleNames(f, edge.triangles) +
                    " both run along it the same way");
    }
  }
  if (f.degenerate_triangles != 0) {
    Heading(out, "degenerate triangles", f.degenerate_triangle_list.size(), f.degenerate_triangles);
    for (const TriangleInstance& t : f.degenerate_triangle_list) {
      Item(out, TriangleName(f, t.triangle) + ": nodes " + Integer(t.nodes[0]) + ", " +
                    Integer(t.nodes[1]) + ", " + Integer(t.nodes[2]));
    }
  }
  EdgeList(out, f, "open edges", f.open_edge_list, f.open_edges);
  EdgeList(out, f, "non-manifold edges", f.non_manifold_edge_list, f.non_manifold_edges);
  if (f.coincident_nodes != 0) {
    Heading(out, "coincident node groups", f.coincident_group_list.size(), f.coincident_groups);
    for (const CoincidentGroup& group : f.coincident_group_list) {
      std::string nodes;
      for (std::int32_t n : group.nodes) nodes += (nodes.empty() ? "" : ", ") + Integer(n);
      Item(out, "nodes " + nodes + " at (" + Real(group.x) + ", " + Real(group.y) + ", " +
                    Real(group.z) + ")");
    }
  }
  if (f.unused_nodes != 0) {
    Heading(out, "unused nodes", f.unused_node_list.size(), f.unused_nodes);
    for (std::int32_t n : f.unused_node_list) Item(out, "node " + Integer(n));
  }
  if (f.shells != 0) {
    Heading(out, "shells", f.shell_list.size(), f.shells);
    for (const ShellInstance& s : f.shell_list) {
      std::string line = "from " + TriangleName(f, s.first_triangle) + ": " +
                         Plural(s.triangle_count, "triangle", "triangles");
      line += s.closed ? ", closed, volume " + Volume(s.volume) : ", open";
      Item(out, line);
    }
  }
}

}  // namespace

std::string CheckReportText(const SurfaceFindings& f, std::span<const ExtraFigure> extra) {
  std::string out;
  Figure(out, "nodes", Integer(f.nodes));
  Figure(out, "elements", Integer(f.elements));
  Figure(out, "triangles", Integer(f.triangles));
  Figure(out, "field points", Integer(f.field_points));
  Figure(out, "field cells", Integer(f.field_cells));
  for (const ExtraFigure& figure : extra) Figure(out, figure.label, Integer(figure.value));
  Figure(out, "element types", Integer(f.element_types));
  Figure(out, "displacement triangles", Integer(f.displacement_triangles));
  Figure(out, "traction triangles", Integer(f.traction_triangles));
  Figure(out, "loaded triangles", Integer(f.loaded_triangles));
  Figure(out, "loaded elements", Integer(f.loaded_elements));
  Figure(out, "pressure records", Integer(f.pressures.read));
  Figure(out, "pressures applied", Integer(f.pressures.applied));
  Figure(out, "open edges", Integer(f.open_edges));
  Figure(out, "non-manifold edges", Integer(f.non_manifold_edges));
  Figure(out, "orientation conflicts", Integer(f.orientation_conflicts));
  Figure(out, "shells", Integer(f.shells));
  Figure(out, "closed shells", Integer(f.closed_shells));
  Figure(out, "enclosed volume", Volume(f.enclosed_volume));
  Figure(out, "degenerate triangles", Integer(f.degenerate_triangles));
  Figure(out, "coincident nodes", Integer(f.coincident_nodes));
  Figure(out, "unused nodes", Integer(f.unused_nodes));
  Figure(out, "problems", Integer(f.problems));
  std::string details;
  Problems(details, f);
  PressuresNotApplied(details, f);
  ElementUses(details, f);
  Instances(details, f);
  if (!details.empty()) out.append("\n").append(details);
  return out;
}

int CheckStatus(const SurfaceFindings& findings) {
  return findings.problems == 0 ? 0 : kProblemsFoundStatus;
}
