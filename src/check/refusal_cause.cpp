#include "check/refusal_cause.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include "check/model_survey.h"
#include "check/stop_report.h"
#include "model/element_block.h"
#include "model/element_types.h"
#include "model/node_block.h"
#include "textio/diagnostics.h"
#include "textio/input_file.h"

namespace {

std::string Str(std::int64_t value) { return std::to_string(value); }

struct Findings {
  std::vector<std::string> facts;
  std::vector<std::string> remedies;
  void Fact(std::string text) { facts.push_back(std::move(text)); }
  void Remedy(std::string text) {
    for (const std::string& r : remedies) {
      if (r == text) return;
    }
    remedies.push_back(std::move(text));
  }
};

std::string CompressRemedy(const ModelSurvey& s) {
  return "compress the numbering in ANSYS before writing the file (NUMCMP,ALL), so that the "
         "nodes are numbered 1 to " +
         Str(s.nodes.records) + " and the elements 1 to " + Str(s.elements.records) +
         ", without gaps";
}
constexpr std::string_view kSurfaceRemedy =
    "translate a surface mesh of three- and four-node elements, one record per element (the "
    "boundary surface of the body, not its volume elements)";

// The local type of a record as the model defines it, or null.
const LocalElementType* TypeOf(const ModelSurvey& s, std::int64_t itype) {
  if (itype < INT32_MIN || itype > INT32_MAX) return nullptr;
  return s.types.Find(static_cast<std::int32_t>(itype));
}

bool IsVolumeType(const ModelSurvey& s, std::int64_t itype) {
  const LocalElementType* type = TypeOf(s, itype);
  return type != nullptr && type->element_class == ElementClass::kVolume;
}

// Line, point, contact and other elements that lie on a surface model
// without being its surface: left out when the file is written.
std::string LeaveOutRemedy(const ModelSurvey& s, std::int64_t itype) {
  return "leave the elements of " + NumberedTypeName(s, itype) +
         " out of the selection before CDWRITE (ESEL,U,TYPE,," + Str(itype) +
         "), instead of rewriting their records";
}

// The first element of a refused type, when the run stopped elsewhere; the
// volume model's remedy is a command the check tries, a 2-D model's is
// none (see DescribeModelKind).
void DescribeRefusedType(Findings& out, const ModelSurvey& s, bool stopped_at_type) {
  const SurveyedBlock& b = s.elements;
  if (b.refused_record == 0) return;
  const LocalElementType* type = TypeOf(s, b.refused_type);
  if (type == nullptr) return;
  if (!stopped_at_type) {
    out.Fact("element " + Str(b.refused_element) + " (record " + Str(b.refused_record) +
             ") is of " + NumberedTypeName(s, b.refused_type) + ", " +
             std::string(ClassPhrase(type->element_class)) + ", not a surface element");
  }
  if (type->element_class != ElementClass::kVolume && !IsPlanarModel(s)) {
    out.Remedy(LeaveOutRemedy(s, b.refused_type));
  }
}

bool IsFragment(const ModelSurvey& s) {
  return s.elements.header_record == 0 && s.nodes.header_record != 0;
}

// The whole file's element types: a 2-D model, or a fragment without
// elements, whatever stopped the run.
void DescribeModelKind(Findings& out, const ModelSurvey& s) {
  if (IsPlanarModel(s)) {
    out.Fact(UsedTypesFact(s) + ": a 2-D model");
    out.Remedy(
        "nothing in cdb2bem translates a 2-D model: it has no surface in space; model the body "
        "in 3-D and translate its surface");
  } else if (IsFragment(s)) {
    out.Fact("the file is a fragment: it holds no element block (no record begins EBLOCK)");
    out.Remedy(
        "nothing in cdb2bem translates a fragment: write the whole meshed model with CDWRITE "
        "(CDWRITE,DB)");
  }
}

// Counts of the block against the counts the run reads, and the first number
// out of sequence. `kind` is "node" or "element".
void DescribeBlock(Findings& out, const SurveyedBlock& b, std::string_view kind, bool header_known,
                   std::int64_t promised, std::int64_t reads, const std::string& compress) {
  const std::string k(kind);
  out.Fact(k + " block (record " + Str(b.header_record) +
           "): " + Counted(b.records, k + " record", k + " records") + ", " + k +
           " numbers up to " + Str(b.highest));
  if (header_known && b.records != reads) {
    std::string text = "the header promises " + Counted(promised, k, k + "s");
    if (reads != promised) {
      text += " (the run reads " + Counted(reads, k + " record", k + " records") + ")";
    }
    text += ", " + Counted(b.records, k + " record follows", k + " records follow");
    if (b.records < reads && b.end_record != 0) {
      text += ": the run reads on past the block into record " + Str(b.end_record) + " (\"" +
              b.end_text.substr(0, 40) + "\")";
    }
    out.Fact(text);
    if (b.highest == promised && b.records < promised) out.Remedy(compress);
  }
  if (b.gap_record != 0) {
    out.Fact("record " + Str(b.gap_record) + " holds " + k + " " + Str(b.gap_number) + " where " +
             k + " " + Str(b.gap_expected) + " is expected: the run numbers " + k +
             "s by their place in the block, 1, 2, 3 and on");
    out.Remedy(compress);
  }
}

void DescribeElements(Findings& out, const ModelSurvey& s, bool stopped_at_type) {
  const SurveyedBlock& b = s.elements;
  DescribeRefusedType(out, s, stopped_at_type);
  if (b.continued_record != 0) {
    out.Fact("element " + Str(b.continued_element) + " (record " + Str(b.continued_record) + ", " +
             NumberedTypeName(s, b.continued_type) + ") has " +
             Counted(b.continued_nodes, "node", "nodes") +
             " and continues on the next record: the run reads one record per element "
             "and takes the continuation for the next element");
    if (!IsVolumeType(s, b.continued_type)) out.Remedy(std::string(kSurfaceRemedy));
  } else if (b.most_nodes > 4) {
    out.Fact("the elements have up to " + Str(b.most_nodes) +
             " nodes: the run takes the first four of each as the corners of a surface element");
    if (!UsesVolumeTypes(s)) out.Remedy(std::string(kSurfaceRemedy));
  }
  if (b.short_record != 0) {
    out.Fact("element " + Str(b.short_element) + " (record " + Str(b.short_record) + ", " +
             NumberedTypeName(s, b.short_type) + ") has " +
             Counted(b.short_nodes, "node field", "node fields") +
             ": the run takes the values it lacks from the next "
             "record, and the records after it are read out of step");
    // Links, contacts and masses are no part of the surface: they are left
    // out of the file rather than written with more node fields.
    out.Remedy(LeaveOutRemedy(s, b.short_type));
  }
}

void DescribeComponents(Findings& out, const ModelSurvey& s) {
  const std::string points = "the component FIELDPOINTS (record " + Str(s.points_record) + ")";
  const std::string cells = "the component FIELDCELLS (record " + Str(s.cells_record) + ")";
  const std::string order =
      "define the component FIELDCELLS and then FIELDPOINTS, both before FINISH";
  if (s.points_record != 0 && s.cells_record == 0) {
    out.Fact(points +
             " comes without a FIELDCELLS component: the run looks for it only after "
             "FIELDCELLS and takes the model as having no field points");
    out.Remedy(order);
  } else if (s.points_record != 0 && s.points_record < s.cells_record) {
    out.Fact(points + " comes before " + cells +
             ": the run looks for FIELDPOINTS only after "
             "FIELDCELLS and takes the field points for boundary nodes");
    out.Remedy(order);
  }
  const std::int64_t finish = s.finish_after_header;
  for (const auto& [record, text] :
       {std::pair{s.cells_record, cells}, std::pair{s.points_record, points}}) {
    if (record != 0 && finish != 0 && record > finish) {
      out.Fact(text + " comes after the FINISH of record " + Str(finish) +
               ": the run looks for the field components only before FINISH");
      out.Remedy(order);
    }
  }
}

bool StoppedAtType(const StopNote& note) {
  return note.rule == StopRule::kTypeNotSurface || note.rule == StopRule::kTypeNotVolume;
}

// The header's counts as the plain run reads them.
struct HeaderReading {
  bool known = false;
  std::int64_t element_reads = 0;
};

HeaderReading DescribeHeader(Findings& out, const ModelSurvey& s) {
  if (s.else_record == 0) {
    std::string text =
        "no offset header: no record begins *ELSE, the record after which the run "
        "reads the node and element counts (NUMOFF,NODE and NUMOFF,ELEM)";
    if (s.first_finish != 0)
      text += "; the run stops at the FINISH of record " + Str(s.first_finish);
    out.Fact(text);
    out.Remedy(
        "write the file with ANSYS's CDWRITE, which puts the offset header before the model");
  } else if (s.first_finish != 0 && s.first_finish < s.else_record) {
    std::string text = "record " + Str(s.first_finish) +
                       " is FINISH, before the offset header (*ELSE, record " + Str(s.else_record) +
                       "): the run takes that FINISH for the end of the model";
    if (s.last_finish_before_header != s.first_finish) {
      text += "; record " + Str(s.last_finish_before_header) + " is another FINISH before it";
    }
    out.Fact(text);
    out.Remedy("delete records 1 to " + Str(s.last_finish_before_header) +
               " (a part of the file before the finite-element model that ends in FINISH), or "
               "write the file without that part");
  }
  HeaderReading header{s.else_record != 0 && s.header_read[0] && s.header_read[1],
                       s.header_count[1]};
  if (s.else_record == 0) return header;
  const char* words[] = {"NUMOFF,NODE", "NUMOFF,ELEM"};
  for (int k = 0; k < 2; ++k) {
    if (!std::string_view(s.offset_text[k]).starts_with(words[k]) || !s.header_read[k]) {
      out.Fact("record " + Str(s.else_record + 1 + k) + " (\"" + s.offset_text[k].substr(0, 40) +
               "\") is not " + words[k] + " and a count in columns 13 to 21");
    }
  }
  if (header.known) {
    out.Fact("header (records " + Str(s.else_record + 1) + " and " + Str(s.else_record + 2) +
             "): " + Counted(s.header_count[0], "node", "nodes") + " and " +
             Counted(s.header_count[1], "element", "elements"));
  }
  const bool cells_read = s.cells_record > s.else_record &&
                          (s.finish_after_header == 0 || s.cells_record < s.finish_after_header);
  const bool points_read = cells_read && s.points_record > s.cells_record &&
                           (s.finish_after_header == 0 || s.points_record < s.finish_after_header);
  // Field cells found without field points stay counted among the elements.
  if (cells_read && !points_read) header.element_reads += s.cells_count;
  return header;
}

// The node and element blocks; with `plain`, against the counts and rules of
// the run that reads the file as written.
void DescribeBlocks(Findings& out, const ModelSurvey& s, bool plain, const HeaderReading& header,
                    bool stopped_at_type) {
  if (s.nodes.header_record == 0) {
    out.Fact("no node block: no record begins NBLOCK, so the file holds no finite-element model");
    out.Remedy(
        "write the meshed model with CDWRITE (CDWRITE,DB), which writes its nodes and elements");
  } else if (plain) {
    DescribeBlock(out, s.nodes, "node", header.known, s.header_count[0], s.header_count[0],
                  CompressRemedy(s));
    if (!NodeFormatOf(s.nodes.format, true)) {
      out.Fact("the node format (record " + Str(s.nodes.header_record + 1) + ", \"" +
               s.nodes.format + "\") is none the run reads: " + NodeFormatList());
    }
  }
  if (s.elements.header_record == 0) {
    out.Fact("no element block: no record begins EBLOCK");
  } else if (plain) {
    DescribeBlock(out, s.elements, "element", header.known, s.header_count[1], header.element_reads,
                  CompressRemedy(s));
    DescribeElements(out, s, stopped_at_type);
    if (!IsElementFormat(s.elements.format)) {
      out.Fact("the element format (record " + Str(s.elements.header_record + 1) + ", \"" +
               s.elements.format + "\") is none the run reads: " + ElementFormatList());
    }
  }
}

std::string ExplainRefusalOf(std::string_view name, const RunEnded& refused, const ModelSurvey& s,
                             bool plain, const TriedRemedy& tried) {
  Findings out;
  if (std::string stop = StopFact(refused, s); !stop.empty()) out.Fact(std::move(stop));
  if (std::string remedy = StopRemedy(refused); !remedy.empty()) out.Remedy(std::move(remedy));
  DescribeModelKind(out, s);
  // What the model is leaves no other remedy.
  const bool kind_remedy = !out.remedies.empty() && (IsPlanarModel(s) || IsFragment(s));
  const HeaderReading header = plain ? DescribeHeader(out, s) : HeaderReading{};
  DescribeBlocks(out, s, plain, header, StoppedAtType(refused.note));
  if (plain) {
    DescribeComponents(out, s);
    if (!s.any_fini) {
      out.Fact("no record begins FINI: the run reads to the end of the file looking for FINISH");
      out.Remedy("end the model with a FINISH record");
    }
  }
  if (kind_remedy) out.remedies.resize(1);

  std::string text = "refused: a second look at " + std::string(name) + " finds\n";
  for (const std::string& fact : out.facts) text += "  - " + fact + "\n";
  const std::string tried_lines = TriedRemedyLines(tried, s);
  if (tried.passed) text += tried_lines;
  for (const std::string& remedy : out.remedies) text += "likely remedy: " + remedy + "\n";
  if (!tried.passed) text += tried_lines;
  if (out.remedies.empty() && tried_lines.empty()) {
    text += "likely remedy: none found beyond the diagnostic above\n";
  }
  return text;
}

bool IsOpeningFailure(int status) {
  switch (status) {
    case kFileNotFound:
    case kPermissionDenied:
    case kOpenFailure:
    case kNoSuchDevice:
    case kFileNameError:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<ModelSurvey> SurveyRefusedModel(std::string_view name, const RunEnded& refused) {
  if (IsOpeningFailure(refused.status)) return std::nullopt;
  try {
    InputFile file(name, kModelUnit);
    return SurveyModelFile(file, {refused.note.record_offset, refused.note.element});
  } catch (const RunEnded&) {
    return std::nullopt;
  }
}

std::string ExplainRefusal(std::string_view name, const RunEnded& refused,
                           const std::optional<ModelSurvey>& survey, bool plain,
                           const TriedRemedy& tried) {
  if (IsOpeningFailure(refused.status)) {
    return "refused: the model file " + std::string(name) +
           " cannot be opened in the working directory; no second look is possible\n";
  }
  if (!survey) {
    return "refused: the model file " + std::string(name) + " could not be read a second time\n";
  }
  return ExplainRefusalOf(name, refused, *survey, plain, tried);
}

std::string RefusalOptionHint(const TriedRemedy& tried) {
  if (!tried.passed) return {};
  if (tried.skin) {
    return "cdb2bem: a volume model: '" + tried.command + "' translates its outer surface\n";
  }
  return "cdb2bem: '" + tried.command +
         "' translates the model, its nodes and elements numbered anew\n";
}
