// The scans' stops with the second half of the model indexed on a thread:
// the same records at the same offsets as when every record is read.
#include "threads/record_index_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

constexpr std::string_view kInitials = "*CD";

using Stops = std::vector<std::pair<std::uint64_t, std::string>>;

// Each record SkipRecordsNotBeginningWith stops at, read whole, with its
// offset; `index` makes the search on a thread, or stands for it.
template <class MakeIndex>
Stops StopsOf(std::size_t buffer, MakeIndex make_index) {
  InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
  auto index = make_index(file);
  Stops stops;
  for (;;) {
    file.SkipRecordsNotBeginningWith(kInitials);
    std::string_view record;
    if (!file.NextRecord(record)) return stops;
    stops.emplace_back(file.record_offset(), std::string(record));
  }
}

Stops StopsOf(std::size_t buffer, int jobs, std::size_t search_block = 4096) {
  return StopsOf(buffer, [=](InputFile& file) {
    return std::make_unique<RecordIndexScan>(file, jobs, kInitials, /*least_size=*/1, search_block);
  });
}

// Records of 0 to 40 characters, some empty, some ended by CR LF, beginning
// with an initial or not; the last with or without its line feed.
std::string RandomText(std::mt19937& random) {
  const char firsts[] = "*CDxy 1\t";
  std::string text;
  const int records = 1 + static_cast<int>(random() % 200);
  for (int r = 0; r < records; ++r) {
    const std::size_t length = random() % 41;
    for (std::size_t k = 0; k < length; ++k) {
      text +=
          k == 0 ? firsts[random() % (sizeof firsts - 1)] : static_cast<char>('a' + random() % 26);
    }
    if (random() % 5 == 0) text += '\r';
    if (r + 1 < records || random() % 2 == 0) text += '\n';
  }
  return text;
}

TEST(RecordIndexScan, StopsAtTheRecordsOfTheReadingWithoutIt) {
  test_support::ScopedTempDir dir;
  std::vector<std::string> texts = {
      "",
      "C\n",
      "x\nC",
      "x\nxx\nC\nD\n*\n",                // the second half begins at a record
      "xxxxxx\nxxxx\nCxxxxx\nxxxxxx\n",  // ... in the middle of one
      "xxxxxxxxxxxxxxxxxxxxxxxxxxxx\nC\n\n\r\nD",
      "D,1\n" + std::string(300, 'x') + "\nC" + std::string(300, 'y') + "\nxx\n*E\n",
  };
  std::mt19937 random(11);
  for (int k = 0; k < 30; ++k) texts.push_back(RandomText(random));
  for (const std::string& text : texts) {
    test_support::WriteFile("ANSYS_Model.cdb", text);
    const Stops every_record = StopsOf(4096, 1);
    for (std::size_t buffer : {2u, 7u, 4096u}) {
      for (std::size_t search_block : {1u, 3u, 4096u}) {
        SCOPED_TRACE(testing::Message() << "buffer " << buffer << ", search block " << search_block
                                        << ", text '" << text << "'");
        EXPECT_EQ(StopsOf(buffer, 2, search_block), every_record);
      }
    }
  }
}

// An index stands for the reading of the records it covers: the jumps are
// taken (a record it leaves out is passed over), within the buffer and
// beyond it; before its part, and without an index, every record is read.
class FixedIndex final : public RecordIndexSource {
 public:
  FixedIndex(std::uint64_t begin, const RecordIndex* index) : begin_(begin), index_(index) {}
  std::string_view initials() const override { return kInitials; }
  std::uint64_t begin() const override { return begin_; }
  const RecordIndex* Wait() override { return index_; }

 private:
  std::uint64_t begin_;
  const RecordIndex* index_;
};

TEST(RecordIndexScan, TheIndexIsTakenForTheRecordsItCovers) {
  test_support::ScopedTempDir dir;
  // Offsets:   0     6     12    18    24    30
  test_support::WriteFile("ANSYS_Model.cdb", "C1xxx\nC2xxx\nxxxxx\nC3xxx\nC4xxx\nC5xxx\n");
  const Stops all = {{0, "C1xxx"}, {6, "C2xxx"}, {18, "C3xxx"}, {24, "C4xxx"}, {30, "C5xxx"}};
  const RecordIndex without_c4 = {36, {18, 30}};
  const struct {
    std::uint64_t begin;
    const RecordIndex* index;
    Stops stops;
  } cases[] = {
      {12, &without_c4, {{0, "C1xxx"}, {6, "C2xxx"}, {18, "C3xxx"}, {30, "C5xxx"}}},
      {100, &without_c4, all},  // the reading never reaches its part
      {12, nullptr, all},       // the search failed
  };
  for (const auto& c : cases) {
    for (std::size_t buffer : {2u, 9u, 4096u}) {
      SCOPED_TRACE(testing::Message() << "begin " << c.begin << ", buffer " << buffer);
      EXPECT_EQ(StopsOf(buffer,
                        [&](InputFile& file) {
                          auto index = std::make_unique<FixedIndex>(c.begin, c.index);
                          file.SkipByIndex(index.get());
                          return index;
                        }),
                c.stops);
    }
  }
}

}  // namespace
