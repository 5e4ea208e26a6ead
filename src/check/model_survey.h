// The second look at a model file: one pass that notes, in the model's own
// terms, what the run's reading depends on: the offset header, the node and
// element blocks, the field components and the FINISH records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/element_types.h"
#include "textio/input_file.h"

/// What one block of records holds, node or element. Record numbers count
/// the model file's records from 1; 0 means none.
struct SurveyedBlock {
  std::int64_t header_record = 0;  // the NBLOCK or EBLOCK record; 0 when there is none
  std::string format;
  std::int64_t records = 0;
  std::int64_t highest = 0;
  std::int64_t gap_record = 0, gap_number = 0, gap_expected = 0;  // first number out of sequence
  std::int64_t end_record = 0;  // the first record after the block
  std::string end_text;
  // Elements only: the first record whose element continues on the next
  // record, the first with fewer than four node fields, the most nodes.
  // The local type (second value) of each such record, too.
  std::int64_t continued_record = 0, continued_element = 0, continued_nodes = 0;
  std::int64_t continued_type = 0;
  std::int64_t short_record = 0, short_element = 0, short_nodes = 0, short_type = 0;
  std::int64_t most_nodes = 0;
  // Elements only: the first record whose local type the model defines as an
  // element that is no surface (volume, 2-D, line, ...).
  std::int64_t refused_record = 0, refused_element = 0, refused_type = 0;
};

/// One local type as the element rows of the whole file use it.
struct UsedType {
  std::int32_t itype = 0;
  std::int64_t elements = 0;
};

/// Where the run stopped, as its reader noted it, to be found in the file:
/// a record by its byte offset (-1: none), an element by its number (0: none).
struct StopPlace {
  std::int64_t record_offset = -1;
  std::int64_t element = 0;
};

struct ModelSurvey {
  std::int64_t first_finish = 0;  // first record beginning "FINISH"
  std::int64_t last_finish_before_header = 0;
  std::int64_t else_record = 0;           // first record beginning "*ELSE"
  std::string offset_text[2];             // the two records after it
  std::int64_t header_count[2] = {0, 0};  // their columns 13 to 21
  bool header_read[2] = {false, false};
  std::int64_t finish_after_header = 0;
  std::int64_t cells_record = 0, points_record = 0;  // CMBLOCK,FIELDCELLS / FIELDPOINTS
  std::int64_t cells_count = 0, points_count = 0;
  bool any_fini = false;
  SurveyedBlock nodes, elements;
  ElementTypes types;  // from the ET, ETBLOCK and KEYOP records before EBLOCK
  // The local types the element rows of every element block use, by itype.
  std::vector<UsedType> used_types;
  // The records of the StopPlace looked for; 0 when not found.
  std::int64_t stop_record = 0, stop_element_record = 0;
};

/// Reads `file` from its current record to its end and notes what it finds,
/// by the rows' rules of the readers, and where `stop` lies.
ModelSurvey SurveyModelFile(InputFile& file, const StopPlace& stop = {});
