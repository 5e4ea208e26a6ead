#include "check/model_survey.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "textio/command_fields.h"

namespace {

bool ToInteger(std::string_view text, std::int64_t& value) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

bool StartsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

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
    const std::string_view field = Trimmed(record.substr(at, width));
    if (field.empty()) break;
    values.push_back(0);
    if (!ToInteger(field, values.back())) return false;
  }
  return true;
}

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

void NoteNumber(SurveyedBlock& block, std::int64_t number, std::int64_t record) {
  ++block.records;
  block.highest = std::max(block.highest, number);
  if (block.gap_record == 0 && number != block.records) {
    block.gap_record = record;
    block.gap_number = number;
    block.gap_expected = block.records;
  }
}

// Node records until the block's end; returns the record after them, if any.
bool ReadNodeRecords(Reader& in, SurveyedBlock& block, std::string_view& record) {
  const std::size_t width = FormatWidth(block.format);
  while (in.Next(record)) {
    std::int64_t number = 0;
    if (!ToInteger(width != 0 ? record.substr(0, width) : record.substr(0, record.find(' ', 1)),
                   number) ||
        number < 1) {
      return true;
    }
    NoteNumber(block, number, in.number());
  }
  return false;
}

bool IsRefusedType(const ElementTypes& types, std::int64_t itype) {
  if (itype < INT32_MIN || itype > INT32_MAX) return false;
  const LocalElementType* type = types.Find(static_cast<std::int32_t>(itype));
  return type != nullptr && IsRefusedClass(type->element_class);
}

bool ReadElementRecords(Reader& in, SurveyedBlock& block, const ElementTypes& types,
                        std::string_view& record) {
  const std::size_t width = FormatWidth(block.format);
  std::vector<std::int64_t> values;
  while (in.Next(record)) {
    if (!IntegerFields(record, width, values) || values.size() < 11) return true;
    const std::int64_t at = in.number();
    const std::int64_t itype = values[1];
    const std::int64_t nodes = values[8];
    const std::int64_t element = values[10];
    const std::int64_t fields = static_cast<std::int64_t>(values.size()) - 11;
    NoteNumber(block, element, at);
    block.most_nodes = std::max(block.most_nodes, nodes);
    if (block.refused_record == 0 && IsRefusedType(types, itype)) {
      block.refused_record = at;
      block.refused_element = element;
      block.refused_type = itype;
    }
    if (fields < 4 && block.short_record == 0) {
      block.short_record = at;
      block.short_element = element;
      block.short_nodes = fields;
      block.short_type = itype;
    }
    // The nodes that do not fit on the record follow on the next ones.
    for (std::int64_t seen = fields; seen < nodes;) {
      if (block.continued_record == 0) {
        block.continued_record = at;
        block.continued_element = element;
        block.continued_nodes = nodes;
        block.continued_type = itype;
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
  // The run reads 32-bit numbers; wider ones end it before the count matters.
  constexpr std::int64_t kLimit = 2147483647;
  for (const std::int64_t v : {values[0], values[1]}) {
    if (v < -kLimit || v > kLimit) return 0;
  }
  return -values[1] - values[0] + 1;
}

}  // namespace

ModelSurvey SurveyModelFile(InputFile& file) {
  ModelSurvey s;
  Reader in(file);
  std::string_view record;
  bool pending = false;  // `record` was read and not yet looked at
  while (pending || in.Next(record)) {
    pending = false;
    const std::int64_t at = in.number();
    s.types.Take(record);
    if (StartsWith(record, "FINI")) s.any_fini = true;
    if (StartsWith(record, "FINISH")) {
      if (s.first_finish == 0) s.first_finish = at;
      if (s.else_record == 0) s.last_finish_before_header = at;
      if (s.else_record != 0 && s.finish_after_header == 0) s.finish_after_header = at;
    } else if (StartsWith(record, "*ELSE") && s.else_record == 0) {
      s.else_record = at;
      for (int k = 0; k < 2 && in.Next(record); ++k) {
        s.offset_text[k] = std::string(Trimmed(record));
        s.header_read[k] = ToInteger(record.substr(std::min<std::size_t>(12, record.size()), 9),
                                     s.header_count[k]);
      }
    } else if (StartsWith(record, "NBLOCK") && s.nodes.header_record == 0) {
      s.nodes.header_record = at;
      if (!in.Next(record)) break;
      s.nodes.format = std::string(Trimmed(record));
      pending = ReadNodeRecords(in, s.nodes, record);
      s.nodes.end_record = pending ? in.number() : 0;
      s.nodes.end_text = pending ? std::string(Trimmed(record)) : "";
    } else if (StartsWith(record, "EBLOCK") && s.elements.header_record == 0) {
      s.elements.header_record = at;
      if (!in.Next(record)) break;
      s.elements.format = std::string(Trimmed(record));
      pending = ReadElementRecords(in, s.elements, s.types, record);
      s.elements.end_record = pending ? in.number() : 0;
      s.elements.end_text = pending ? std::string(Trimmed(record)) : "";
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
