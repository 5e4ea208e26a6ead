#include "model/node_block.h"

#include <string_view>
#include <utility>
#include <vector>

#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/parallel_records.h"

namespace {

struct NodeFormat {
  std::string_view text;  // compared on 13 columns, trailing blank included
  Layout layout;
};

constexpr NodeFormat kNodeFormats[] = {
    {"(3i8,6e16.9) ", kNodeRecordLayout1},
    {"(3i8,6e20.13)", kNodeRecordLayout2},
    {"(3i9,6e20.13)", kNodeRecordLayout3},
    {"(3i9,6e21.13e", kNodeRecordLayout4},
};

Layout FindNodeFormat(InputFile& model) {
  for (;;) {
    const LineBufferView line_buffer = ReadProbe(model, kProbeWidth13);
    for (const NodeFormat& format : kNodeFormats) {
      if (TextIs(line_buffer, format.text)) return format.layout;
    }
  }
}

}  // namespace

std::optional<Layout> NodeFormatOf(std::string_view record) {
  const LineBufferView line_buffer = LeadingColumns(record, kProbeWidth13[0].width);
  for (const NodeFormat& format : kNodeFormats) {
    if (TextIs(line_buffer, format.text)) return format.layout;
  }
  return std::nullopt;
}

namespace {

// Reads one node record; returns the node number written in it.
std::int32_t ReadNodeRecord(InputFile& model, Layout layout, double* xyz) {
  std::int32_t number = 0;
  std::int32_t unused = 0;
  ReadFixedRecord(model, layout, {number, unused, unused, xyz[0], xyz[1], xyz[2]});
  return number;
}

// The most records converted in one batch; the buffer of the model file
// usually holds fewer.
constexpr std::size_t kBatchRecords = std::size_t{1} << 16;

// What converting one part of a batch found: the numbering mismatches in
// record order, and the first record that failed (`end` when none did).
struct PartFindings {
  std::vector<std::pair<std::size_t, std::int32_t>> mismatches;  // record, number read
  std::size_t failed = 0;
  std::size_t end = 0;
};

// Position p of the block, from 0: a node up to NodeCount, then a field point.
double* CoordinatesAt(RunTables& run, std::int64_t node_count, std::int64_t p) {
  return p < node_count
             ? run.NodeCoords.Column(static_cast<std::int32_t>(p + 1))
             : run.FieldPointCoords.Column(static_cast<std::int32_t>(p + 1 - node_count));
}

// The node and field-point records converted on `jobs` threads, a batch of
// records at a time. The messages and the failure come out as the record by
// record reading gives them: the mismatches of the records before the first
// record that fails, then that record read again alone, which raises.
void ReadNodeRecordsInParallel(InputFile& model, Layout layout, RunTables& run, OutputFile& console,
                               int jobs) {
  const std::int64_t node_count = run.NodeCount > 0 ? run.NodeCount : 0;
  const std::int64_t total = node_count + (run.FieldPointCount > 0 ? run.FieldPointCount : 0);
  // Nodes are numbered p + 1, field points NodeCount + j (NodeCount as the
  // header gave it, below 0 too); a field point is reported by its position j.
  auto expected = [&](std::int64_t p) {
    return p < node_count ? p + 1 : std::int64_t{run.NodeCount} + (p + 1 - node_count);
  };
  auto report = [&](std::int64_t p, std::int32_t number) {
    const std::int64_t shown = p < node_count ? p + 1 : p + 1 - node_count;
    WriteFreeForm(console,
                  {" Node number error ni, i =", number, static_cast<std::int32_t>(shown)});
  };
  std::vector<std::string_view> records;
  std::vector<PartFindings> findings(static_cast<std::size_t>(jobs));
  for (std::int64_t done = 0; done < total;) {
    model.NextRecords(static_cast<std::size_t>(std::min<std::int64_t>(total - done, kBatchRecords)),
                      records);
    if (records.empty()) model.ReadRecord();  // the end of the file: raises
    const int parts =
        ForEachPart(jobs, records.size(), [&](int part, std::size_t begin, std::size_t end) {
          PartFindings& found = findings[static_cast<std::size_t>(part)];
          found.mismatches.clear();
          found.failed = found.end = end;
          for (std::size_t k = begin; k < end; ++k) {
            const std::int64_t p = done + static_cast<std::int64_t>(k);
            double* xyz = CoordinatesAt(run, node_count, p);
            std::int32_t number = 0;
            std::int32_t unused = 0;
            const ReadItem items[] = {number, unused, unused, xyz[0], xyz[1], xyz[2]};
            if (!ReadFixedFields(records[k], layout, items)) {
              found.failed = k;
              return;
            }
            if (number != expected(p)) found.mismatches.emplace_back(k, number);
          }
        });
    std::size_t taken = records.size();
    for (int part = 0; part < parts && taken == records.size(); ++part) {
      const PartFindings& found = findings[static_cast<std::size_t>(part)];
      for (const auto& [k, number] : found.mismatches) {
        report(done + static_cast<std::int64_t>(k), number);
      }
      if (found.failed < found.end) taken = found.failed;
    }
    done += static_cast<std::int64_t>(taken);
    if (taken < records.size()) {
      // Read again alone, the failing record raises what it raises in sequence.
      model.Unread(records[taken]);
      const std::int32_t number =
          ReadNodeRecord(model, layout, CoordinatesAt(run, node_count, done));
      if (number != expected(done)) report(done, number);
      ++done;
    }
  }
}

}  // namespace

void ReadNodeBlock(InputFile& model, RunTables& run, OutputFile& console, int jobs) {
  const Layout layout = FindNodeFormat(model);
  if (jobs > 1) {
    ReadNodeRecordsInParallel(model, layout, run, console, jobs);
    return;
  }
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    std::int32_t number = ReadNodeRecord(model, layout, run.NodeCoords.Column(i));
    if (number != i) WriteFreeForm(console, {" Node number error ni, i =", number, i});
  }
  for (std::int32_t j = 1; j <= run.FieldPointCount; ++j) {
    std::int32_t number = ReadNodeRecord(model, layout, run.FieldPointCoords.Column(j));
    // Compared with the node number the field point should have, reported by its position.
    if (static_cast<std::int64_t>(number) != std::int64_t{run.NodeCount} + j) {
      WriteFreeForm(console, {" Node number error ni, i =", number, j});
    }
  }
}
