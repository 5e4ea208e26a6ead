// A second look at a model file the run refused: what in the file led to
// the refusal, in the model's own terms, and the likely remedy.
#pragma once

#include <string>
#include <string_view>

/// Reads the model file `name` once more and describes, in lines ended by a
/// line feed, what it finds: the header's counts against the records of the
/// node and element blocks, the first node or element number out of
/// sequence, element records that span two lines, the field components
/// where the run does not look for them, and the likely remedy. `status` is
/// the refused run's status; a model that could not be opened is not read.
std::string ExplainRefusal(std::string_view name, int status);

/// For a refused translation of a volume model, or of a model whose numbers
/// have gaps, the option that translates it as it stands, as a line ended by
/// a line feed ("cdb2bem: ... --skin ..."); empty otherwise, and when the
/// file cannot be read again.
std::string RefusalOptionHint(std::string_view name);
