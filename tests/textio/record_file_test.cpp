// Records of text files: line ends, buffer boundaries, reopening, the end of
// file, and output files that keep their content until written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"
#include "textio/input_file.h"
#include "textio/output_file.h"

namespace {

std::vector<std::string> AllRecords(InputFile& file) {
  std::vector<std::string> records;
  for (std::string_view record; file.NextRecord(record);) records.emplace_back(record);
  return records;
}

// The status with which `action` ended the run (-1: it did not) and its stderr text.
std::pair<int, std::string> RunEndedBy(const std::function<void()>& action) {
  const test_support::RunResult ended = test_support::CatchRunEnded(action);
  return {ended.status, ended.err};
}

TEST(InputFile, RecordsAcrossBufferBoundaries) {
  test_support::ScopedTempDir dir;
  const std::string long_record = "0123456789abcdefghi";  // longer than the small buffers
  const struct {
    std::string content;
    std::vector<std::string> records;
  } cases[] = {{"ab\n" + long_record + "\n\nlast", {"ab", long_record, "", "last"}},
               {"ab\r\n" + long_record + "\r\n\r\nlast\r\n", {"ab", long_record, "", "last"}},
               {"a\rb\n\r\n\n", {"a\rb", "", ""}},
               {"abcdef\r\nab\r\n", {"abcdef", "ab"}},
               {"", {}},
               {"\n", {""}}};
  for (const auto& c : cases) {
    for (std::size_t buffer : {2u, 3u, 7u, 8u, 9u, 4096u}) {
      SCOPED_TRACE(testing::PrintToString(c.content) + ", buffer " + std::to_string(buffer));
      test_support::WriteFile("m.cdb", c.content);
      InputFile file("m.cdb", kModelUnit, buffer);
      EXPECT_EQ(AllRecords(file), c.records);
      file.Reopen();  // starts again at the first record
      EXPECT_EQ(AllRecords(file), c.records);
    }
  }
}

TEST(InputFile, SkippedRecordsAreNeitherHandedOutNorObserved) {
  test_support::ScopedTempDir dir;
  const std::string long_record = "  0123456789abcdefghi";  // longer than the small buffers
  const struct {
    std::string content;
    std::vector<std::string> records;  // read with a skip before each record
  } cases[] = {{"ab\n" + long_record + "\n\nDx\r\n\r\n Fy\nFz", {"Dx", "Fz"}},
               {"Da\n" + long_record + "\r\n" + long_record + "\nF", {"Da", "F"}},
               {"\n\r\nx\nD", {"D"}},
               {"a\nb\nc", {}},
               {"DF\nFD\n", {"DF", "FD"}}};
  for (const auto& c : cases) {
    for (std::size_t buffer : {2u, 3u, 7u, 9u, 4096u}) {
      SCOPED_TRACE(testing::PrintToString(c.content) + ", buffer " + std::to_string(buffer));
      test_support::WriteFile("m.cdb", c.content);
      InputFile file("m.cdb", kModelUnit, buffer);
      std::vector<std::pair<std::string, std::uint64_t>> observed;
      auto observe = [&observed](std::string_view record, std::uint64_t offset) {
        observed.emplace_back(record, offset);
      };
      file.Observe(observe);
      std::vector<std::string> records;
      for (std::string_view record;;) {
        file.SkipRecordsNotBeginningWith("DF");
        if (!file.NextRecord(record)) break;
        records.emplace_back(record);
        EXPECT_EQ(file.record_offset(), c.content.find(record));
      }
      EXPECT_EQ(records, c.records);
      ASSERT_EQ(observed.size(), records.size());
      for (std::size_t k = 0; k < records.size(); ++k) {
        EXPECT_EQ(observed[k], std::pair(records[k], std::uint64_t{c.content.find(records[k])}));
      }
    }
  }
}

TEST(InputFile, ReopenEndOfFileAndMissingFile) {
  test_support::ScopedTempDir dir;
  const std::string path = (std::filesystem::current_path() / "ANSYS_Model.cdb").string();
  EXPECT_EQ(RunEndedBy([] { InputFile file("ANSYS_Model.cdb", kModelUnit); }),
            std::pair(29, "runerr: severe (29): file not found, unit 5, file " + path + "\r\n"));
  const std::string long_name(256 - path.size() + 16, 'n');  // a path of 257 characters
  EXPECT_EQ(RunEndedBy([&] { InputFile file(long_name, kModelUnit); }).first, 43);
  test_support::WriteFile("ANSYS_Model.cdb", "first\nsecond\n");
  InputFile file("ANSYS_Model.cdb", kModelUnit, 8);
  EXPECT_EQ(file.ReadRecord(), "first");
  file.Reopen();
  EXPECT_EQ(file.ReadRecord(), "first");
  EXPECT_EQ(file.ReadRecord(), "second");
  EXPECT_EQ(
      RunEndedBy([&] { file.ReadRecord(); }),
      std::pair(24, "runerr: severe (24): end-of-file during read, unit 5, file " + path + "\r\n"));
}

// The file is opened once and every reading is of it: one renamed onto its
// name is not read, and the file rewritten (its size or modification time
// changed) is refused at the next reading or check, also when the copy that
// rewrote it put its old modification time back.
TEST(InputFile, EveryReadingIsOfTheFileOpened) {
  const std::string refused = " ANSYS cdb file error: the file changed while it was read\r\n";
  enum class Change { kRenamedOnto, kRewritten, kRewrittenOldTime };
  for (const Change change :
       {Change::kRenamedOnto, Change::kRewritten, Change::kRewrittenOldTime}) {
    SCOPED_TRACE(static_cast<int>(change));
    test_support::ScopedTempDir dir;
    test_support::WriteFile("m.cdb", "ab\ncd\n");
    const auto written = std::filesystem::last_write_time("m.cdb");
    InputFile file("m.cdb", kModelUnit);
    EXPECT_EQ(AllRecords(file), (std::vector<std::string>{"ab", "cd"}));
    if (change != Change::kRenamedOnto) {
      test_support::WriteFile("m.cdb", "ab\nxy\nlast");
      if (change == Change::kRewrittenOldTime) {
        std::filesystem::last_write_time("m.cdb", written);
        ASSERT_EQ(std::filesystem::last_write_time("m.cdb"), written);
      }
      EXPECT_EQ(RunEndedBy([&] { file.Reopen(); }), std::pair(1, refused));
      EXPECT_EQ(RunEndedBy([&] { file.CheckUnchanged(); }), std::pair(1, refused));
    } else {
      test_support::WriteFile("other.cdb", "ab\nxy\nlast");
      std::filesystem::rename("other.cdb", "m.cdb");
      file.ReopenAt(3);
      EXPECT_EQ(AllRecords(file), (std::vector<std::string>{"cd"}));
      file.CheckUnchanged();
    }
  }
}

// Records reach the file only when the buffer's size is full (or at a flush),
// also while the buffer is still growing toward that size.
TEST(OutputFile, WrittenOutWhenTheBufferSizeIsFull) {
  for (std::size_t limit : {256u, 4096u, 6000u, 10000u}) {
    SCOPED_TRACE(limit);
    test_support::ScopedTempDir dir;
    OutputFile file("input.dat", kSolverInputUnit, limit);
    std::size_t on_disk = 0, held = 0;
    for (int k = 0; k < 300; ++k) {
      const std::size_t length = static_cast<std::size_t>(k * 37 % 150);
      if (held + length + 2 > limit) on_disk += std::exchange(held, 0);
      held += length + 2;
      file.WriteRecord(std::string(length, 'r'));
      ASSERT_EQ(std::filesystem::file_size("input.dat"), on_disk) << "record " << k;
    }
  }
}

TEST(OutputFile, ExistingFileKeptUntilTheFirstRecord) {
  test_support::ScopedTempDir dir;
  const std::string old = "an older and much longer content\r\nof two records\r\n";
  test_support::WriteFile("input.dat", old);
  OutputFile("input.dat", kSolverInputUnit).Flush();  // opened and closed without a record
  EXPECT_EQ(test_support::ReadFile("input.dat"), old);
  std::string expected = "new\r\n\r\n" + std::string(300, 'z') + "\r\n";
  {
    OutputFile file("input.dat", kSolverInputUnit, 16);
    EXPECT_EQ(test_support::ReadFile("input.dat"), old);
    file.WriteRecord("new");
    file.Flush();
    EXPECT_EQ(test_support::ReadFile("input.dat"), "new\r\n");
    file.WriteRecord("");
    file.WriteRecord(std::string(300, 'z'));  // longer than the buffer
    for (int k = 0; k < 500; ++k) {
      const std::string record(static_cast<std::size_t>(k % 97), static_cast<char>('a' + k % 26));
      file.WriteRecord(record);
      expected += record + "\r\n";
    }
  }  // the destructor writes out what is left
  EXPECT_EQ(test_support::ReadFile("input.dat"), expected);
}

}  // namespace
