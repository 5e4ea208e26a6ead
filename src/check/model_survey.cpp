#include "check/model_survey.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/cdb_rows.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "textio/command_fields.h"
#include "textio/number_read.h"

namespace {

// A text of the offset header, by the run's integer field rule.
bool ToInteger(std::string_view text, std::int64_t& value) {
  std::int32_t number = 0;
  if (!ParseIntegerField(text, number)) return false;
  value = number;
  return true;
}

// The columns of a node record's number, by the node format that follows the
// NBLOCK record; 0 for a format the run does not read, whose numbers are then
// read free-form.
std::size_t NodeNumberWidth(std::string_view format) {
  const std::optional<NodeLayout> layout = NodeFormatOf(format, true);
  return layout ? static_cast<std::size_t>(layout->number_width()) : 0;
}

// The values of a row by the readers' rules: by `width` columns where the
// row is laid out in them, else free-form; false when a value breaks them.
bool RowValues(std::string_view record, std::size_t width, std::vector<std::int64_t>& values) {
  std::int32_t row[kElementRowValues];
  int count = 0;
  const FreeFormStatus status =
      width != 0 ? ReadElementRow(record, width, row, count) : ReadIntegerRow(record, row, count);
  values.assign(row, row + count);
  return status == FreeFormStatus::kDone;
}

class Reader {
 public:
  Reader(InputFile& file, const StopPlace& stop, ModelSurvey& s)
      : file_(file), stop_(stop), s_(s) {}
  bool Next(std::string_view& record) {
    if (!file_.NextRecord(record)) return false;
    ++number_;
    if (stop_.record_offset >= 0 &&
        static_cast<std::int64_t>(file_.record_offset()) == stop_.record_offset) {
      s_.stop_record = number_;
    }
    return true;
  }
  std::int64_t number() const { return number_; }
  // An element row of `element` at the current record.
  void Element(std::int64_t element) {
    if (element == stop_.element && s_.stop_element_record == 0) s_.stop_element_record = number_;
  }

 private:
  InputFile& file_;
  const StopPlace& stop_;
  ModelSurvey& s_;
  std::int64_t number_ = 0;
};

void NoteUsedType(std::vector<UsedType>& used, std::int64_t itype) {
  if (itype < INT32_MIN || itype > INT32_MAX) return;
  const auto at = std::lower_bound(used.begin(), used.end(), itype,
                                   [](const UsedType& u, std::int64_t t) { return u.itype < t; });
  if (at != used.end() && at->itype == itype) {
    ++at->elements;
  } else {
    used.insert(at, {static_cast<std::int32_t>(itype), 1});
  }
}

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
  const std::size_t width = NodeNumberWidth(block.format);
  std::vector<std::int64_t> values;
  while (in.Next(record)) {
    if (KindOfBlockRow(record) != BlockRow::kRow) return true;
    std::int32_t number = 0;
    if (width != 0
            ? !ParseIntegerField(record.substr(0, width), number)
            : !RowValues(record.substr(0, record.find(' ', 1)), 0, values) || values.empty()) {
      return true;
    }
    if (width == 0) number = static_cast<std::int32_t>(values[0]);
    if (number < 1) return true;
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
                        std::vector<UsedType>& used, std::string_view& record) {
  const std::size_t width = ElementFieldWidth(block.format);
  std::vector<std::int64_t> values;
  while (in.Next(record)) {
    if (KindOfBlockRow(record) != BlockRow::kRow || !RowValues(record, width, values) ||
        values.size() < 11) {
      return true;
    }
    const std::int64_t at = in.number();
    const std::int64_t itype = values[1];
    const std::int64_t nodes = values[8];
    const std::int64_t element = values[10];
    const std::int64_t fields = static_cast<std::int64_t>(values.size()) - 11;
    NoteNumber(block, element, at);
    NoteUsedType(used, itype);
    in.Element(element);
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
      if (KindOfBlockRow(record) != BlockRow::kRow || !RowValues(record, 0, values) ||
          values.empty()) {
        return true;
      }
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
  if (!RowValues(record, 0, values) || values.size() < 2) return 0;
  return -values[1] - values[0] + 1;
}

}  // namespace

ModelSurvey SurveyModelFile(InputFile& file, const StopPlace& stop) {
  ModelSurvey s;
  Reader in(file, stop, s);
  std::string_view record;
  bool pending = false;  // `record` was read and not yet looked at
  while (pending || in.Next(record)) {
    pending = false;
    const std::int64_t at = in.number();
    s.types.Take(record);
    if (record.starts_with("FINI")) s.any_fini = true;
    if (record.starts_with("FINISH")) {
      if (s.first_finish == 0) s.first_finish = at;
      if (s.else_record == 0) s.last_finish_before_header = at;
      if (s.else_record != 0 && s.finish_after_header == 0) s.finish_after_header = at;
      // A part before the model ends in its own FINISH: the model's types
      // come after it, as the rebuilt models read them.
      if (s.nodes.header_record == 0) s.types = ElementTypes();
    } else if (record.starts_with("*ELSE") && s.else_record == 0) {
      s.else_record = at;
      for (int k = 0; k < 2 && in.Next(record); ++k) {
        s.offset_text[k] = std::string(Trimmed(record));
        s.header_read[k] = ToInteger(record.substr(std::min<std::size_t>(12, record.size()), 9),
                                     s.header_count[k]);
      }
    } else if (record.starts_with("NBLOCK") && s.nodes.header_record == 0) {
      s.nodes.header_record = at;
      if (!in.Next(record)) break;
      s.nodes.format = std::string(Trimmed(record));
      pending = ReadNodeRecords(in, s.nodes, record);
      s.nodes.end_record = pending ? in.number() : 0;
      s.nodes.end_text = pending ? std::string(Trimmed(record)) : "";
    } else if (record.starts_with("EBLOCK")) {
      // The first block is described; the types of every block are counted.
      SurveyedBlock later;
      SurveyedBlock& block = s.elements.header_record == 0 ? s.elements : later;
      block.header_record = at;
      if (!in.Next(record)) break;
      block.format = std::string(Trimmed(record));
      pending = ReadElementRecords(in, block, s.types, s.used_types, record);
      block.end_record = pending ? in.number() : 0;
      block.end_text = pending ? std::string(Trimmed(record)) : "";
    } else if (record.starts_with("CMBLOCK,FIELDCELLS") && s.cells_record == 0) {
      s.cells_record = at;
      s.cells_count = ComponentCount(in, record);
    } else if (record.starts_with("CMBLOCK,FIELDPOINTS") && s.points_record == 0) {
      s.points_record = at;
      s.points_count = ComponentCount(in, record);
    }
  }
  return s;
}
