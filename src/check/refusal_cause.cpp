#include "check/refusal_cause.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "textio/diagnostics.h"
#include "textio/record_file.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ToInteger(std::string_view text, std::int64_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

bool StartsWith(std::string_view text, std::string_view word) { return text.substr(0, word.size()) == word; }

std::string Str(std::int64_t value) { return std::to_string(value); }

// The field width W of a format such as "(3i9,6e21.13e3)" or "(19i10)".
std::size_t FormatWidth(std::string_view format) {
  const std::size_t i = format.find('i');
  std::int64_t width = 0;
  if (i == std::string_view::npos) return 0;
  const std::string_view rest = format.substr(i + 1);
  std::from_chars(rest.data(), rest.data() + rest.size(), width);
  return width > 0 && width < 40 ? static_cast<std::size_t>(width) : 0;
}

// The integers of a record cut into fields of `width` columns (blank- or
// comma-separated when the width is unknown); false when a field is none.
bool IntegerFields(std::string_view record, std::size_t width, std::vector<std::int64_t>& values) {
  values.clear();
  if (width == 0) {
    for (std::size_t at = 0; at < record.size();) {
      const std::size_t end = std::min(record.find_first_of(" ,", at), record.size());
      if (end > at) {
        values.push_back(0);
        if (!ToInteger(record.substr(at, end - at), values.back())) return false;
      }
      at = end + 1;
    }
    return true;
  }
  for (std::size_t at = 0; at < record.size(); at += width) {
    const std::string_view field = Trim(record.substr(at, width));
    if (field.empty()) break;
    values.push_back(0);
    if (!ToInteger(field, values.back())) return false;
  }
  return true;
}

// What one block of records holds, node or element.
struct Block {
  std::int64_t header_record = 0;  // the NBLOCK or EBLOCK record; 0 when there is none
  std::string format;
  std::int64_t records = 0;
  std::int64_t highest = 0;
  std::int64_t gap_record = 0, gap_number = 0, gap_expected = 0;  // first number out of sequence
  std::int64_t end_record = 0;                                     // the first record after the block
  std::string end_text;
  // Elements only: the first record whose element continues on the next
  // record, the first with fewer than four node fields, the most nodes.
  std::int64_t continued_record = 0, continued_element = 0, continued_nodes = 0;
  std::int64_t short_record = 0, short_element = 0, short_nodes = 0;
  std::int64_t most_nodes = 0;
};

struct Survey {
  std::int64_t first_finish = 0;         // first record beginning "FINISH"
  std::int64_t else_record = 0;          // first record beginning "*ELSE"
  std::string offset_text[2];            // the two records after it
  std::int64_t header_count[2] = {0, 0}; // their columns 13 to 21
  bool header_read[2] = {false, false};
  std::int64_t finish_after_header = 0;
  std::int64_t cells_record = 0, points_record = 0;  // CMBLOCK,FIELDCELLS / FIELDPOINTS
  std::int64_t cells_count = 0, points_count = 0;
  bool any_fini = false;
  Block nodes, elements;
};

class Reader {
 public:
  explicit Reader(InputFile& file) : file_(file) {}
  bool Next(std::string_view& record) {
    if (!file_.NextRecord(record)) return false;
    ++number_;
    return true;
  }
  std::int64_t number() const { return number_; }

 private:
  InputFile& file_;
  std::int64_t number_ = 0;
};

void NoteNumber(Block& block, std::int64_t number, std::int64_t record) {
  ++block.records;
  block.highest = std::max(block.highest, number);
  if (block.gap_record == 0 && number != block.records) {
    block.gap_record = record;
    block.gap_number = number;
    block.gap_expected = block.records;
  }
}

// Node records until the block's end; returns the record after them, if any.
bool ReadNodeRecords(Reader& in, Block& block, std::string_view& record) {
  const std::size_t width = FormatWidth(block.format);
  while (in.Next(record)) {
    std::int64_t number = 0;
    if (!ToInteger(width != 0 ? record.substr(0, width) : record.substr(0, record.find(' ', 1)), number) ||
        number < 1) {
      return true;
    }
    NoteNumber(block, number, in.number());
  }
  return false;
}

bool ReadElementRecords(Reader& in, Block& block, std::string_view& record) {
  const std::size_t width = FormatWidth(block.format);
  std::vector<std::int64_t> values;
  while (in.Next(record)) {
    if (!IntegerFields(record, width, values) || values.size() < 11) return true;
    const std::int64_t at = in.number();
    const std::int64_t nodes = values[8];
    const std::int64_t element = values[10];
    const std::int64_t fields = static_cast<std::int64_t>(values.size()) - 11;
    NoteNumber(block, element, at);
    block.most_nodes = std::max(block.most_nodes, nodes);
    if (fields < 4 && block.short_record == 0) {
      block.short_record = at;
      block.short_element = element;
      block.short_nodes = fields;
    }
    // The nodes that do not fit on the record follow on the next ones.
    for (std::int64_t seen = fields; seen < nodes;) {
      if (block.continued_record == 0) {
        block.continued_record = at;
        block.continued_element = element;
        block.continued_nodes = nodes;
      }
      if (!in.Next(record)) return false;
      if (!IntegerFields(record, width, values) || values.empty()) return true;
      seen += static_cast<std::int64_t>(values.size());
    }
  }
  return false;
}

// The count of a component: its range, written as the first number and the
// last one negated, on the second record after the CMBLOCK record.
std::int64_t ComponentCount(Reader& in, std::string_view& record) {
  std::vector<std::int64_t> values;
  if (!in.Next(record) || !in.Next(record)) return 0;
  if (!IntegerFields(record, 0, values) || values.size() < 2) return 0;
  return -values[1] - values[0] + 1;
}

Survey Look(InputFile& file) {
  Survey s;
  Reader in(file);
  std::string_view record;
  bool pending = false;  // `record` was read and not yet looked at
  while (pending || in.Next(record)) {
    pending = false;
    const std::int64_t at = in.number();
    if (StartsWith(record, "FINI")) s.any_fini = true;
    if (StartsWith(record, "FINISH")) {
      if (s.first_finish == 0) s.first_finish = at;
      if (s.else_record != 0 && s.finish_after_header == 0) s.finish_after_header = at;
    } else if (StartsWith(record, "*ELSE") && s.else_record == 0) {
      s.else_record = at;
      for (int k = 0; k < 2 && in.Next(record); ++k) {
        s.offset_text[k] = std::string(Trim(record));
        s.header_read[k] = ToInteger(record.substr(std::min<std::size_t>(12, record.size()), 9),
                                     s.header_count[k]);
      }
    } else if (StartsWith(record, "NBLOCK") && s.nodes.header_record == 0) {
      s.nodes.header_record = at;
      if (!in.Next(record)) break;
      s.nodes.format = std::string(Trim(record));
      pending = ReadNodeRecords(in, s.nodes, record);
      s.nodes.end_record = pending ? in.number() : 0;
      s.nodes.end_text = pending ? std::string(Trim(record)) : "";
    } else if (StartsWith(record, "EBLOCK") && s.elements.header_record == 0) {
      s.elements.header_record = at;
      if (!in.Next(record)) break;
      s.elements.format = std::string(Trim(record));
      pending = ReadElementRecords(in, s.elements, record);
      s.elements.end_record = pending ? in.number() : 0;
      s.elements.end_text = pending ? std::string(Trim(record)) : "";
    } else if (StartsWith(record, "CMBLOCK,FIELDCELLS") && s.cells_record == 0) {
      s.cells_record = at;
      s.cells_count = ComponentCount(in, record);
    } else if (StartsWith(record, "CMBLOCK,FIELDPOINTS") && s.points_record == 0) {
      s.points_record = at;
      s.points_count = ComponentCount(in, record);
    }
  }
  return s;
}

constexpr std::string_view kNodeFormats[] = {"(3i8,6e16.9)", "(3i8,6e20.13)", "(3i9,6e20.13)",
                                              "(3i9,6e21.13e"};

bool NodeFormatRead(std::string_view format) {
  for (std::string_view known : kNodeFormats) {
    if (StartsWith(format, known) && (known.back() == 'e' || format.size() == known.size() ||
                                      format[known.size()] == ' ')) {
      return true;
    }
  }
  return false;
}

bool ElementFormatRead(std::string_view format) {
  return StartsWith(format, "(19i8)") || StartsWith(format, "(19i9)") || StartsWith(format, "(19i10)");
}

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

constexpr std::string_view kCompressRemedy =
    "compress the numbering in ANSYS before writing the file (NUMCMP,ALL), so that the nodes "
    "are numbered 1 to their count and the elements 1 to theirs, without gaps";
constexpr std::string_view kSurfaceRemedy =
    "translate a surface mesh of three- and four-node elements, one record per element (the "
    "boundary surface of the body, not its volume elements)";

// Counts of the block against the counts the run reads, and the first number
// out of sequence. `kind` is "node" or "element".
void DescribeBlock(Findings& out, const Block& b, std::string_view kind, bool header_known,
                   std::int64_t promised, std::int64_t reads) {
  const std::string k(kind);
  out.Fact(k + " block (record " + Str(b.header_record) + "): " + Str(b.records) + " " + k +
           " records, " + k + " numbers up to " + Str(b.highest));
  if (header_known && b.records != reads) {
    std::string text = "the header promises " + Str(promised) + " " + k + "s";
    if (reads != promised) text += " (the run reads " + Str(reads) + " " + k + " records)";
    text += ", " + Str(b.records) + " " + k + " records follow";
    if (b.records < reads && b.end_record != 0) {
      text += ": the run reads on past the block into record " + Str(b.end_record) + " (\"" +
              b.end_text.substr(0, 40) + "\")";
    }
    out.Fact(text);
    if (b.highest == promised && b.records < promised) out.Remedy(std::string(kCompressRemedy));
  }
  if (b.gap_record != 0) {
    out.Fact("record " + Str(b.gap_record) + " holds " + k + " " + Str(b.gap_number) + " where " +
             k + " " + Str(b.gap_expected) + " is expected: the run numbers " + k +
             "s by their place in the block, 1, 2, 3 and on");
    out.Remedy(std::string(kCompressRemedy));
  }
}

void DescribeElements(Findings& out, const Block& b) {
  if (b.continued_record != 0) {
    out.Fact("element " + Str(b.continued_element) + " (record " + Str(b.continued_record) +
             ") has " + Str(b.continued_nodes) +
             " nodes and continues on the next record: the run reads one record per element "
             "and takes the continuation for the next element");
    out.Remedy(std::string(kSurfaceRemedy));
  } else if (b.most_nodes > 4) {
    out.Fact("the elements have up to " + Str(b.most_nodes) +
             " nodes: the run takes the first four of each as the corners of a surface element");
    out.Remedy(std::string(kSurfaceRemedy));
  }
  if (b.short_record != 0) {
    out.Fact("element " + Str(b.short_element) + " (record " + Str(b.short_record) + ") has " +
             Str(b.short_nodes) + " node fields: the run takes the values it lacks from the next "
             "record, and the records after it are read out of step");
    out.Remedy("write every element record with four node fields (the third repeated for a "
               "triangle)");
  }
}

void DescribeComponents(Findings& out, const Survey& s) {
  const std::string points = "the component FIELDPOINTS (record " + Str(s.points_record) + ")";
  const std::string cells = "the component FIELDCELLS (record " + Str(s.cells_record) + ")";
  const std::string order = "define the component FIELDCELLS and then FIELDPOINTS, both before FINISH";
  if (s.points_record != 0 && s.cells_record == 0) {
    out.Fact(points + " comes without a FIELDCELLS component: the run looks for it only after "
             "FIELDCELLS and takes the model as having no field points");
    out.Remedy(order);
  } else if (s.points_record != 0 && s.points_record < s.cells_record) {
    out.Fact(points + " comes before " + cells + ": the run looks for FIELDPOINTS only after "
             "FIELDCELLS and takes the field points for boundary nodes");
    out.Remedy(order);
  }
  const std::int64_t finish = s.finish_after_header;
  for (const auto& [record, text] : {std::pair{s.cells_record, cells}, std::pair{s.points_record, points}}) {
    if (record != 0 && finish != 0 && record > finish) {
      out.Fact(text + " comes after the FINISH of record " + Str(finish) +
               ": the run looks for the field components only before FINISH");
      out.Remedy(order);
    }
  }
}

std::string ExplainRefusalOf(std::string_view name, const Survey& s) {
  Findings out;
  if (s.else_record == 0) {
    std::string text = "no offset header: no record begins *ELSE, the record after which the run "
                       "reads the node and element counts (NUMOFF,NODE and NUMOFF,ELEM)";
    if (s.first_finish != 0) text += "; the run stops at the FINISH of record " + Str(s.first_finish);
    out.Fact(text);
    out.Remedy("write the file with ANSYS's CDWRITE, which puts the offset header before the model");
  } else if (s.first_finish != 0 && s.first_finish < s.else_record) {
    out.Fact("record " + Str(s.first_finish) + " is FINISH, before the offset header (*ELSE, record " +
             Str(s.else_record) + "): the run takes that FINISH for the end of the model");
    out.Remedy("delete records 1 to " + Str(s.first_finish) +
               " (a part of the file before the finite-element model that ends in FINISH), or "
               "write the file without that part");
  }
  const bool header_known = s.else_record != 0 && s.header_read[0] && s.header_read[1];
  std::int64_t element_reads = s.header_count[1];
  if (s.else_record != 0) {
    const char* words[] = {"NUMOFF,NODE", "NUMOFF,ELEM"};
    for (int k = 0; k < 2; ++k) {
      if (!StartsWith(s.offset_text[k], words[k]) || !s.header_read[k]) {
        out.Fact("record " + Str(s.else_record + 1 + k) + " (\"" + s.offset_text[k].substr(0, 40) +
                 "\") is not " + words[k] + " and a count in columns 13 to 21");
      }
    }
    if (header_known) {
      out.Fact("header (records " + Str(s.else_record + 1) + " and " + Str(s.else_record + 2) +
               "): " + Str(s.header_count[0]) + " nodes and " + Str(s.header_count[1]) + " elements");
    }
    const bool cells_read = s.cells_record > s.else_record &&
                            (s.finish_after_header == 0 || s.cells_record < s.finish_after_header);
    const bool points_read = cells_read && s.points_record > s.cells_record &&
                             (s.finish_after_header == 0 || s.points_record < s.finish_after_header);
    // Field cells found without field points stay counted among the elements.
    if (cells_read && !points_read) element_reads += s.cells_count;
  }
  if (s.nodes.header_record == 0) {
    out.Fact("no node block: no record begins NBLOCK");
  } else {
    DescribeBlock(out, s.nodes, "node", header_known, s.header_count[0], s.header_count[0]);
    if (!NodeFormatRead(s.nodes.format)) {
      out.Fact("the node format (record " + Str(s.nodes.header_record + 1) + ", \"" +
               s.nodes.format + "\") is none the run reads: (3i8,6e16.9), (3i8,6e20.13), "
               "(3i9,6e20.13) or (3i9,6e21.13e...)");
    }
  }
  if (s.elements.header_record == 0) {
    out.Fact("no element block: no record begins EBLOCK");
  } else {
    DescribeBlock(out, s.elements, "element", header_known, s.header_count[1], element_reads);
    DescribeElements(out, s.elements);
    if (!ElementFormatRead(s.elements.format)) {
      out.Fact("the element format (record " + Str(s.elements.header_record + 1) + ", \"" +
               s.elements.format + "\") is none the run reads: (19i8), (19i9) or (19i10)");
    }
  }
  DescribeComponents(out, s);
  if (!s.any_fini) {
    out.Fact("no record begins FINI: the run reads to the end of the file looking for FINISH");
    out.Remedy("end the model with a FINISH record");
  }

  std::string text = "refused: a second look at " + std::string(name) + " finds\n";
  for (const std::string& fact : out.facts) text += "  - " + fact + "\n";
  if (out.remedies.empty()) {
    text += "likely remedy: none found beyond the diagnostic above\n";
  }
  for (const std::string& remedy : out.remedies) text += "likely remedy: " + remedy + "\n";
  return text;
}

}  // namespace

std::string ExplainRefusal(std::string_view name, int status) {
  switch (status) {
    case kFileNotFound:
    case kPermissionDenied:
    case kOpenFailure:
    case kNoSuchDevice:
    case kFileNameError:
      return "refused: the model file " + std::string(name) +
             " cannot be opened in the working directory; no second look is possible\n";
    default:
      break;
  }
  try {
    InputFile file(name, kModelUnit);
    return ExplainRefusalOf(name, Look(file));
  } catch (const RunEnded&) {
    return "refused: the model file " + std::string(name) + " could not be read a second time\n";
  }
}
