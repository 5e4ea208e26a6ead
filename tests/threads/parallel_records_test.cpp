// Records on several threads: the parts of a range, batches of records read
// and taken back, runs of records read in batches, and records formatted in parallel and written in
// order, byte for byte and write for write as one thread writes them.
#include "threads/parallel_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

TEST(ForEachPart, ContiguousPartsCoverTheRangeOnce) {
  const struct {
    int parts;
    std::size_t count;
    int used;
  } cases[] = {{1, 10, 1}, {2, 10, 2}, {3, 10, 3}, {16, 5, 5}, {4, 1, 1}, {7, 0, 0}, {0, 3, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.parts << " parts of " << c.count);
    std::vector<std::atomic<int>> seen(c.count);
    std::vector<std::pair<std::size_t, std::size_t>> bounds(
        static_cast<std::size_t>(std::max(c.parts, 1)));
    const int used =
        ForEachPart(c.parts, c.count, [&](int part, std::size_t begin, std::size_t end) {
          bounds[static_cast<std::size_t>(part)] = {begin, end};
          for (std::size_t k = begin; k < end; ++k) ++seen[k];
        });
    EXPECT_EQ(used, c.used);
    for (std::size_t k = 0; k < c.count; ++k) EXPECT_EQ(seen[k], 1) << k;
    for (int part = 0; part < used; ++part) {
      const auto [begin, end] = bounds[static_cast<std::size_t>(part)];
      EXPECT_LT(begin, end);  // no part is empty
      EXPECT_EQ(begin, part == 0 ? 0 : bounds[static_cast<std::size_t>(part) - 1].second);
    }
    if (used > 0) {
      EXPECT_EQ(bounds[static_cast<std::size_t>(used) - 1].second, c.count);
    }
  }
}

TEST(ForEachPart, WhatAPartThrowsArrivesAfterAllParts) {
  std::atomic<int> finished = 0;
  EXPECT_THROW(ForEachPart(3, 30,
                           [&](int part, std::size_t, std::size_t) {
                             ++finished;
                             if (part == 1) throw std::runtime_error("part 1");
                           }),
               std::runtime_error);
  EXPECT_EQ(finished, 3);
}

TEST(InputFile, RecordBatchesAndRecordsTakenBack) {
  test_support::ScopedTempDir dir;
  test_support::WriteFile("ANSYS_Model.cdb", "a\r\nbb\nccc\n\ndddd\nlast");
  for (std::size_t buffer : {2u, 5u, 9u, 4096u}) {
    SCOPED_TRACE(buffer);
    InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
    std::vector<std::string_view> batch;
    std::vector<std::string> read;
    file.NextRecords(2, batch);
    ASSERT_FALSE(batch.empty());
    ASSERT_LE(batch.size(), 2u);
    EXPECT_EQ(batch[0], "a");
    file.Unread(batch[0]);  // the whole batch back: the next read begins with it again
    while (true) {
      file.NextRecords(3, batch);
      if (batch.empty()) break;
      EXPECT_LE(batch.size(), 3u);
      read.emplace_back(batch[0]);
      // The rest of the batch taken back and read one by one.
      if (batch.size() > 1) file.Unread(batch[1]);
    }
    EXPECT_EQ(read, (std::vector<std::string>{"a", "bb", "ccc", "", "dddd", "last"}));
  }
}

// Records read ahead leave the batch before them as it was; dropped, they
// are read again; kept, the reading goes on after them. The last record,
// without a line feed, and the end of the file are left to NextRecords.
TEST(InputFile, RecordsReadAheadKeepTheBatchBeforeThem) {
  test_support::ScopedTempDir dir;
  const std::string text = "a\r\nbb\nccc\n\ndddd\neeeee\nlast";
  const std::vector<std::string> all = {"a", "bb", "ccc", "", "dddd", "eeeee", "last"};
  test_support::WriteFile("ANSYS_Model.cdb", text);
  for (std::size_t buffer : {2u, 5u, 7u, 9u, 4096u}) {
    for (bool drop : {false, true}) {
      SCOPED_TRACE(testing::Message() << "buffer " << buffer << (drop ? ", dropped" : ", kept"));
      InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
      std::vector<std::string_view> batch;
      std::vector<std::string_view> ahead;
      std::vector<std::string> read;
      for (;;) {
        file.NextRecords(2, batch);
        if (batch.empty()) break;
        const std::vector<std::string> copy(batch.begin(), batch.end());
        const bool held = file.NextRecordsAhead(2, ahead);
        EXPECT_EQ(std::vector<std::string>(batch.begin(), batch.end()), copy);
        read.insert(read.end(), copy.begin(), copy.end());
        if (!held) {
          EXPECT_TRUE(ahead.empty());
          continue;
        }
        ASSERT_FALSE(ahead.empty());
        EXPECT_LE(ahead.size(), 2u);
        if (drop) {
          const std::vector<std::string> dropped(ahead.begin(), ahead.end());
          file.DropAhead();
          file.NextRecords(dropped.size(), batch);
          EXPECT_EQ(std::vector<std::string>(batch.begin(), batch.end()), dropped);
          file.Unread(batch[0]);  // read on from the first record read ahead
        } else {
          read.insert(read.end(), ahead.begin(), ahead.end());
        }
      }
      EXPECT_EQ(read, all);
    }
  }
}

// A run read by ReadInBatches: records of digits are converted on the
// threads; "x" is read alone (an item of -1), "xx" too, together with the
// record after it (an item that runs over, of -2); "end" ends the run and is
// taken. Returns the items and the record read next.
std::pair<std::vector<int>, std::string> ReadRun(const std::string& text, std::size_t items,
                                                 int jobs, std::size_t buffer) {
  test_support::WriteFile("ANSYS_Model.cdb", text);
  InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
  std::vector<int> values;
  std::vector<int> converted_values;
  ReadInBatches(
      file, jobs, items,
      {.prepare = [&](std::size_t count) { converted_values.assign(count, 0); },
       .convert =
           [&](BatchRecords records, std::size_t begin, std::size_t end) {
             for (std::size_t k = begin; k < end; ++k) {
               const std::string_view r = records[k];
               if (r.empty() || r.find_first_not_of("0123456789") != std::string_view::npos) {
                 return k;
               }
               converted_values[k] = std::stoi(std::string(r));
             }
             return end;
           },
       .take =
           [&](BatchRecords records, std::size_t converted) {
             values.insert(values.end(), converted_values.begin(),
                           converted_values.begin() + static_cast<std::ptrdiff_t>(converted));
             if (records.empty()) return BatchTaken{0, false, true};
             if (converted < records.size() && records[converted] == "end") {
               return BatchTaken{converted + 1, false, true};
             }
             return BatchTaken{converted, converted < records.size(), false};
           },
       .read_alone =
           [&] {
             const bool runs_over = file.ReadRecord() == "xx";
             if (runs_over) file.ReadRecord();
             values.push_back(runs_over ? -2 : -1);
           }});
  std::string_view next;
  return {values, file.NextRecord(next) ? std::string(next) : "(end)"};
}

TEST(ReadInBatches, ItemsInRecordOrderWhateverTheThreadsAndBatches) {
  const std::string text = "1\n2\nx\n3\n4\nxx\n5\n6\n7\nx\nx\n8\nend\n9\n";
  const struct {
    std::size_t items;
    std::vector<int> values;
    std::string next;
  } cases[] = {
      {100, {1, 2, -1, 3, 4, -2, 6, 7, -1, -1, 8}, "9"},  // "end" taken
      {2, {1, 2}, "x"},
      {3, {1, 2, -1}, "3"},
      {6, {1, 2, -1, 3, 4, -2}, "6"},  // the item that ran over took "5"
      {7, {1, 2, -1, 3, 4, -2, 6}, "7"},
      {0, {}, "1"},
  };
  test_support::ScopedTempDir dir;
  for (const auto& c : cases) {
    for (int jobs : {1, 2, 3}) {
      for (std::size_t buffer : {std::size_t{4}, std::size_t{9}, std::size_t{4096}}) {
        SCOPED_TRACE(testing::Message()
                     << c.items << " items, jobs " << jobs << ", buffer " << buffer);
        const auto [values, next] = ReadRun(text, c.items, jobs, buffer);
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(next, c.next);
      }
    }
  }
  // The end of the file ends the run when `take` says so.
  const auto [values, next] = ReadRun("1\n2\n3", 100, 2, 4096);
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(next, "(end)");
}

// Batches of hundreds of records, cut into many pieces: a record refused in
// any piece, the first or last of a piece or of the batch, is read alone in
// its place, and the pieces after it are read again, as one thread reads them.
TEST(ReadInBatches, ARefusalInAnyPieceIsReadWhereOneThreadReadsIt) {
  const struct {
    std::vector<std::size_t> x;   // records "x", read alone
    std::vector<std::size_t> xx;  // records "xx", read alone with the record after them
  } cases[] = {{{0}, {}},
               {{2999}, {}},
               {{46, 47, 48}, {}},
               {{500, 1500}, {2500}},
               {{}, {93, 1000}},
               {{1, 2997}, {2998}},
               {{}, {}}};
  test_support::ScopedTempDir dir;
  for (const auto& c : cases) {
    std::string text;
    std::vector<int> expected;
    for (std::size_t r = 0; r < 3000; ++r) {
      const bool x = std::find(c.x.begin(), c.x.end(), r) != c.x.end();
      const bool xx = std::find(c.xx.begin(), c.xx.end(), r) != c.xx.end();
      text += x ? "x\n" : xx ? "xx\n" : std::to_string(r + 1) + "\n";
      if (xx) {
        expected.push_back(-2);
        text += "0\n";  // taken by the record before it
      } else {
        expected.push_back(x ? -1 : static_cast<int>(r + 1));
      }
    }
    for (int jobs : {1, 2, 3}) {
      for (std::size_t buffer : {std::size_t{4096}, std::size_t{1} << 20}) {
        SCOPED_TRACE(testing::Message()
                     << "x " << testing::PrintToString(c.x) << ", xx "
                     << testing::PrintToString(c.xx) << ", jobs " << jobs << ", buffer " << buffer);
        const auto [values, next] = ReadRun(text, expected.size(), jobs, buffer);
        EXPECT_EQ(values, expected);
        EXPECT_EQ(next, "(end)");
      }
    }
  }
}

// The file's size after each record written one by one: where the buffer was
// written out.
std::vector<std::uintmax_t> SizesRecordByRecord(const std::vector<std::string>& records) {
  OutputFile file("input.dat", kSolverInputUnit, 256);
  std::vector<std::uintmax_t> sizes;
  for (const std::string& record : records) {
    file.WriteRecord(record);
    sizes.push_back(std::filesystem::file_size("input.dat"));
  }
  return sizes;
}

TEST(OutputFile, RecordBlocksAreWrittenOutWhereSingleRecordsAre) {
  test_support::ScopedTempDir dir;
  for (std::size_t length : {0u, 5u, 40u, 254u, 300u}) {
    SCOPED_TRACE(length);
    std::vector<std::string> records;
    std::string block;
    for (int r = 0; r < 40; ++r) {
      records.push_back(std::string(length, static_cast<char>('a' + r % 26)));
      block += records.back() + "\r\n";
    }
    const std::vector<std::uintmax_t> expected = SizesRecordByRecord(records);
    const std::string content = test_support::ReadFile("input.dat");
    // Told that more records follow, a block may also write out what the
    // record after it would, and no more.
    for (const bool more_follow : {false, true}) {
      for (std::size_t step : {1u, 3u, 7u, 40u}) {
        SCOPED_TRACE(testing::Message() << "step " << step << ", more follow " << more_follow);
        OutputFile file("input.dat", kSolverInputUnit, 256);
        const std::size_t stride = length + 2;
        for (std::size_t first = 0; first < records.size(); first += step) {
          const std::size_t count = std::min(step, records.size() - first);
          const bool more = more_follow && first + count < records.size();
          file.WriteRecordBlock(block.data() + first * stride, stride, count, more);
          const std::uintmax_t size = std::filesystem::file_size("input.dat");
          if (more && size != expected[first + count - 1]) {
            EXPECT_EQ(size, expected[first + count]);
          } else {
            EXPECT_EQ(size, expected[first + count - 1]);
          }
        }
        file.Close();
        EXPECT_EQ(test_support::ReadFile("input.dat"), content);
      }
    }
  }
}

// Writes `count` solver node records, the numbers of `wide` too wide for
// their 8 columns, with `jobs` threads; returns the file and the console.
std::pair<std::string, std::string> WriteNodes(std::int32_t count,
                                               const std::vector<std::int32_t>& wide, int jobs) {
  std::filesystem::remove("input.dat");
  const test_support::RunResult ended = test_support::CatchRunEnded([&] {
    OutputFile file("input.dat", kSolverInputUnit, 4096);
    WriteFixedRecords<kSolverNodeLayout>(file, count, jobs, [&](std::int32_t i) {
      bool too_wide = false;
      for (std::int32_t w : wide) too_wide |= w == i;
      return std::array<WriteItem, 4>{too_wide ? 123456789 : i, i * 0.5, -1.0 / i, 0.0};
    });
    file.Close();
  });
  EXPECT_EQ(ended.status, -1);
  return {test_support::ReadFile("input.dat"), ended.err};
}

TEST(WriteFixedRecords, ThreadsWriteTheBytesAndReportsOfOneThread) {
  test_support::ScopedTempDir dir;
  // Enough records for several batches of every number of threads.
  constexpr std::int32_t kCount = 70000;
  const std::vector<std::int32_t> wide = {1, 2, 11111, 22222, 22223, 55555, kCount};
  const auto [file, console] = WriteNodes(kCount, wide, 1);
  ASSERT_EQ(file.size(), std::size_t{82} * kCount);
  EXPECT_EQ(file.substr(0, 82),
            "********   0.500000000000000D+00  -0.100000000000000D+01   0.000000000000000D+00\r\n");
  EXPECT_EQ(file.substr(82 * 2, 82),
            "       3   0.150000000000000D+01  -0.333333333333333D+00   0.000000000000000D+00\r\n");
  std::string reports;
  for (std::size_t n = 0; n < wide.size(); ++n) {
    reports += DiagnosticLine(kOutputConversion, kSolverInputUnit,
                              (std::filesystem::current_path() / "input.dat").string()) +
               "\r\n";
  }
  EXPECT_EQ(console, reports);
  for (int jobs : {2, 3, 5}) {
    SCOPED_TRACE(jobs);
    const auto [parallel_file, parallel_console] = WriteNodes(kCount, wide, jobs);
    EXPECT_TRUE(parallel_file == file) << "the files differ";
    EXPECT_EQ(parallel_console, console);
  }
  for (int jobs : {1, 2}) EXPECT_EQ(WriteNodes(0, {}, jobs).first, "");
}

// Records too wide for their field, then a write that fails: records of 82
// bytes through a buffer of 4 KiB, so that the 50th record writes out the 49
// before it, which /dev/full refuses. A record's report comes after the
// record is in the buffer, before the next record is; whatever the threads,
// the console is one thread's, report for report.
TEST(WriteFixedRecords, ReportsBeforeAFailedWriteAreOneThreads) {
  const struct {
    std::vector<std::int32_t> wide;
    int reports;  // those before the write fails
  } cases[] = {{{}, 0},           {{1}, 1},      {{49}, 1},      {{50}, 0},
               {{48, 49, 50}, 2}, {{49, 51}, 1}, {{1, 2, 3}, 3}, {{51, 2999}, 0}};
  const std::string report = DiagnosticLine(kOutputConversion, kSolverInputUnit, "/dev/full");
  const std::string failed = DiagnosticLine(kWriteError, kSolverInputUnit, "/dev/full");
  for (const auto& c : cases) {
    std::string expected;
    for (int r = 0; r < c.reports; ++r) expected += report + "\r\n";
    expected += failed + "\r\n";
    for (int jobs : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message()
                   << "wide " << testing::PrintToString(c.wide) << ", jobs " << jobs);
      const test_support::RunResult ended = test_support::CatchRunEnded([&] {
        OutputFile file("/dev/full", kSolverInputUnit, 4096);
        WriteFixedRecords<kSolverNodeLayout>(file, 3000, jobs, [&](std::int32_t i) {
          const bool too_wide = std::find(c.wide.begin(), c.wide.end(), i) != c.wide.end();
          return std::array<WriteItem, 4>{too_wide ? 123456789 : i, 1.0, 2.0, 3.0};
        });
        file.Close();
      });
      EXPECT_NE(ended.status, -1);
      EXPECT_EQ(ended.err, expected);
    }
  }
}

}  // namespace
