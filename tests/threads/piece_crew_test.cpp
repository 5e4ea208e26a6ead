// Batches cut into pieces that a crew of threads takes as they come: every
// record once, the pieces contiguous and in order, batch after batch on the
// same threads; what a piece throws arriving once all pieces are done; and
// when the calling thread takes batches alone.
#include "threads/piece_crew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <utility>
#include <vector>

#include "threads/help_balance.h"
#include "threads/parallel_records.h"

namespace {

TEST(PieceCrew, EveryBatchCoveredOnceByContiguousPieces) {
  // One after another on the same crew: records, pieces asked for, pieces made.
  const std::size_t batches[][3] = {{10, 1, 1},   {1000, 64, 64}, {0, 8, 0},   {7, 64, 7},
                                    {65, 64, 64}, {5, 0, 1},      {129, 2, 2}, {3000, 96, 96}};
  for (int helpers : {0, 1, 3}) {
    PieceCrew crew(helpers, false);
    for (const auto& [count, asked, made] : batches) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers, " << count << " in " << asked);
      std::vector<std::atomic<int>> seen(count);
      std::vector<std::pair<std::size_t, std::size_t>> bounds(made);
      const PieceCrew::Work work = [&](std::size_t piece, std::size_t begin, std::size_t end) {
        bounds[piece] = {begin, end};
        for (std::size_t k = begin; k < end; ++k) ++seen[k];
      };
      crew.Begin(count, asked, work);
      EXPECT_EQ(crew.Finish(), made);
      for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(seen[k], 1) << k;
      std::size_t next = 0;
      for (std::size_t piece = 0; piece < made; ++piece) {
        EXPECT_EQ(bounds[piece].first, next) << piece;
        EXPECT_LT(bounds[piece].first, bounds[piece].second) << piece;  // none empty
        EXPECT_EQ(crew.begin(piece), next) << piece;
        next = bounds[piece].second;
      }
      EXPECT_EQ(next, count);
    }
    EXPECT_EQ(crew.helpers(), static_cast<std::size_t>(helpers));
  }
}

// The earliest piece's exception, once every piece has run.
TEST(PieceCrew, TheEarliestPieceThrownArrivesAfterAllPieces) {
  for (int jobs : {2, 3}) {
    SCOPED_TRACE(jobs);
    std::atomic<int> ran = 0;
    EXPECT_THROW(ForEachPiece(jobs, 640,
                              [&](std::size_t begin, std::size_t) {
                                ++ran;
                                if (begin >= 320) throw std::out_of_range("late");
                                if (begin >= 20) throw std::invalid_argument("early");
                              }),
                 std::invalid_argument);
    EXPECT_EQ(ran, 32 * jobs);
  }
}

// A batch closed before its end, as a borrower that fails gives the crew
// back, then closed again, as the crew's end or its next lender does: its
// pieces not begun stay undone, and the crew serves the next batch.
TEST(PieceCrew, ABatchClosedBeforeItsEndIsLeftOnce) {
  for (int closes : {1, 2, 3}) {
    SCOPED_TRACE(closes);
    PieceCrew crew(0);
    std::atomic<int> ran = 0;
    const PieceCrew::Work work = [&](std::size_t, std::size_t, std::size_t) { ++ran; };
    crew.Begin(10, 5, work);
    for (int k = 0; k < closes; ++k) crew.Close();
    EXPECT_EQ(ran, 0);
    crew.Begin(4, 2, work);
    EXPECT_EQ(crew.Finish(), 2u);
    EXPECT_EQ(ran, 2);
    crew.Close();
  }
}

// Batches alone before each shared batch of a row (gained, waited): after
// waits that cost more than the help, doubling up to the most while trials
// do not pay, from the first again once one does; each older batch weighs
// half as much as the one after it.
TEST(HelpBalance, BatchesAloneAfterWaitsThatDidNotPay) {
  struct Step {
    std::size_t alone_before;
    double gained;
    double waited;
  };
  const std::vector<std::vector<Step>> runs = {
      {{0, 1, 2},
       {4, 1, 2},
       {8, 1, 2},
       {16, 1, 2},
       {32, 1, 2},
       {64, 1, 2},
       {64, 1, 2},
       {64, 1, 0},
       {0, 1, 3},
       {4, 1, 0},
       {0, 1, 1}},
      {{0, 10, 0}, {0, 0, 6}, {4, 1, 0}},                        // 5 against 6
      {{0, 10, 0}, {0, 0, 4}, {0, 1, 1}, {0, 0, 2}, {4, 1, 0}},  // 5: 4, 3.5: 3, 1.75: 3.5
  };
  for (std::size_t r = 0; r < runs.size(); ++r) {
    HelpBalance balance;
    for (std::size_t k = 0; k < runs[r].size(); ++k) {
      SCOPED_TRACE(testing::Message() << "run " << r << ", step " << k);
      std::size_t alone = 0;
      while (balance.NextAlone()) ++alone;
      EXPECT_EQ(alone, runs[r][k].alone_before);
      balance.Shared(runs[r][k].gained, runs[r][k].waited);
    }
  }
}

}  // namespace
