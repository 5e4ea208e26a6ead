// The run's crew lent to one reader or writer at a time: threads started
// once for every block, a borrower that finds it lent or too small served
// by a crew of its own, and a batch abandoned by its borrower left behind.
#include "threads/run_crew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <vector>

#include "threads/parallel_records.h"

namespace {

// Crews asked for in turn, each lent or not, and whether one of them is
// still held (nested in the one before) when the next is asked for.
TEST(RunCrew, LentToOneBorrowerAtATimeWithEnoughThreads) {
  const struct {
    int jobs;  // of the run: none kept when 0
    std::vector<int> asked;
    bool nested;
    std::vector<bool> lent;
  } cases[] = {
      {0, {1, 2}, false, {false, false}},
      {1, {1, 0}, false, {false, false}},
      {3, {2, 1, 3, 0}, false, {true, true, false, false}},
      {4, {3, 3, 3}, false, {true, true, true}},
      {4, {3, 2, 1}, true, {true, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "jobs " << c.jobs << ", nested " << c.nested);
    std::optional<RunCrew> run;
    if (c.jobs > 0) run.emplace(c.jobs);
    std::vector<std::optional<BorrowedCrew>> held(c.asked.size());
    for (std::size_t k = 0; k < c.asked.size(); ++k) {
      SCOPED_TRACE(k);
      held[k].emplace(c.asked[k]);
      EXPECT_EQ(held[k]->borrowed(), c.lent[k]);
      std::atomic<int> seen = 0;
      const PieceCrew::Work work = [&](std::size_t, std::size_t begin, std::size_t end) {
        seen += static_cast<int>(end - begin);
      };
      (*held[k])->Begin(100, 8, work);
      (*held[k])->Finish();
      EXPECT_EQ(seen, 100);
      if (!c.nested) held[k].reset();
    }
  }
}

// Blocks read and written one after another start the run's threads once;
// a second crew kept at the same time keeps nothing.
TEST(RunCrew, ThreadsStartedOnceForEveryBlock) {
  const RunCrew run(3);
  const RunCrew second(3);
  for (int block = 0; block < 5; ++block) {
    ForEachPiece(3, 1000, [](std::size_t, std::size_t) {});
    EXPECT_EQ(run.helpers(), 2u) << block;
  }
  EXPECT_EQ(second.helpers(), 0u);
  const BorrowedCrew crew(2);
  EXPECT_TRUE(crew.borrowed());
}

// A borrower that ends between a batch's beginning and its end, as a failed
// write or read does, leaves the pieces not begun: the next borrower, or
// else the run's end, goes on without them.
TEST(RunCrew, ABatchAbandonedIsLeftBehind) {
  for (int jobs : {2, 3}) {
    for (bool next_borrower : {false, true}) {
      SCOPED_TRACE(testing::Message() << "jobs " << jobs << ", next borrower " << next_borrower);
      const RunCrew run(jobs);
      const PieceCrew::Work work = [](std::size_t, std::size_t, std::size_t) {};
      try {
        BorrowedCrew crew(jobs - 1);
        crew->Begin(1000, 500, work);
        throw std::runtime_error("write failed");
      } catch (const std::runtime_error&) {
      }
      if (!next_borrower) continue;
      std::atomic<int> ran = 0;
      ForEachPiece(jobs, 64, [&](std::size_t begin, std::size_t end) {
        ran += static_cast<int>(end - begin);
      });
      EXPECT_EQ(ran, 64);
    }
  }
}

}  // namespace
