#include "driver/run_summary.h"

#include <vector>

#include "textio/diagnostics.h"

std::string RunSummaryLine(const SurfaceFindings& f) {
  std::string line(" ");
  line.append(Counted(f.nodes, "node", "nodes")).append(", ");
  line.append(Counted(f.triangles, "triangle", "triangles")).append(": ");
  line.append(std::to_string(f.displacement_triangles)).append(" with a displacement condition, ");
  line.append(std::to_string(f.loaded_triangles)).append(" with a traction that is not zero");
  std::vector<std::string> findings;
  if (f.open_edges != 0) findings.push_back(Counted(f.open_edges, "open edge", "open edges"));
  if (f.non_manifold_edges != 0) {
    findings.push_back(Counted(f.non_manifold_edges, "non-manifold edge", "non-manifold edges"));
  }
  if (f.no_displacement) findings.emplace_back("no displacement condition");
  if (findings.empty()) return line;
  line += "; the model has ";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i != 0) line += i + 1 == findings.size() ? " and " : ", ";
    line += findings[i];
  }
  return line + ": see cdb2bem --check";
}

std::string LowerCaseModelHint() {
  const std::string name(kLowerCaseModelFileName);
  return std::string(" ") + name + " is here; to translate it: cdb2bem [OPTION]... " + name;
}
