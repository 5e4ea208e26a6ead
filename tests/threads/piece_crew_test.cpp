// Batches cut into pieces that a crew of threads takes as they come: every
// record once, the pieces contiguous and in order, batch after batch on the
// same threads, and what a piece throws arriving once all pieces are done.
#include "threads/piece_crew.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "threads/help_balance.h"
#include "threads/parallel_records.h"

namespace {

TEST(PieceCrew, EveryBatchCoveredOnceByContiguousPieces) {
  // One after another on the same crew: the pieces asked for, and those
  // made (never more than the records).
  const struct {
    std::size_t count;
    std::size_t pieces;
    std::size_t made;
  } batches[] = {{10, 1, 1},   {1000, 64, 64}, {0, 8, 0},   {7, 64, 7},
                 {65, 64, 64}, {5, 0, 1},      {129, 2, 2}, {3000, 96, 96}};
  for (int helpers : {0, 1, 2, 3}) {
    PieceCrew crew(helpers, false);
    for (const auto& b : batches) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers, " << b.count << " records in "
                                      << b.pieces << " pieces");
      std::vector<std::atomic<int>> seen(b.count);
      std::vector<std::pair<std::size_t, std::size_t>> bounds(b.made);
      const PieceCrew::Work work = [&](std::size_t piece, std::size_t begin, std::size_t end) {
        bounds[piece] = {begin, end};
        for (std::size_t k = begin; k < end; ++k) ++seen[k];
      };
      crew.Begin(b.count, b.pieces, work);
      EXPECT_EQ(crew.pieces(), b.made);
      EXPECT_EQ(crew.Finish(), b.made);
      for (std::size_t k = 0; k < b.count; ++k) EXPECT_EQ(seen[k], 1) << k;
      for (std::size_t piece = 0; piece < b.made; ++piece) {
        const auto [begin, end] = bounds[piece];
        EXPECT_LT(begin, end) << piece;  // no piece is empty
        EXPECT_EQ(begin, piece == 0 ? 0 : bounds[piece - 1].second) << piece;
        EXPECT_EQ(begin, crew.begin(piece)) << piece;
      }
      if (b.made > 0) {
        EXPECT_EQ(bounds[b.made - 1].second, b.count);
      }
    }
    // Started as the batches needed them, never more than asked for.
    EXPECT_EQ(crew.helpers(), static_cast<std::size_t>(helpers));
  }
}

TEST(PieceCrew, TheEarliestPieceThrownArrivesAfterAllPieces) {
  const struct {
    std::vector<std::size_t> throwing;
    std::string first;
  } cases[] = {{{5}, "piece 5"}, {{0, 31}, "piece 0"}, {{31}, "piece 31"}, {{9, 3, 20}, "piece 3"}};
  for (int helpers : {0, 2}) {
    PieceCrew crew(helpers, false);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers, " << c.first);
      std::atomic<int> ran = 0;
      const PieceCrew::Work work = [&](std::size_t piece, std::size_t, std::size_t) {
        ++ran;
        for (std::size_t t : c.throwing) {
          if (t == piece) throw std::runtime_error("piece " + std::to_string(piece));
        }
      };
      crew.Begin(320, 32, work);
      try {
        crew.Finish();
        ADD_FAILURE() << "nothing thrown";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), c.first);
      }
      EXPECT_EQ(ran, 32);
    }
    // The crew goes on with the next batch.
    std::atomic<std::size_t> records = 0;
    const PieceCrew::Work count = [&](std::size_t, std::size_t begin, std::size_t end) {
      records += end - begin;
    };
    crew.Begin(100, 10, count);
    EXPECT_EQ(crew.Finish(), 10u);
    EXPECT_EQ(records, 100u);
  }
}

// Batches alone after waits that cost more than the help gave: as many as
// the row says before each shared batch, doubling up to the most while
// trials do not pay, from the first again once one does; older batches
// weigh half as much as the one after them.
TEST(HelpBalance, BatchesAloneAfterWaitsThatDidNotPay) {
  struct Step {
    std::size_t alone_before;
    double gained;
    double waited;
  };
  const std::vector<std::vector<Step>> runs = {
      // Doubling to the most, then from the first again.
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
      // 10 / 2 gained against 6 waited: alone.
      {{0, 10, 0}, {0, 0, 6}, {4, 1, 0}},
      // 5 against 4, 3.5 against 3: shared; 1.75 against 3.5: alone.
      {{0, 10, 0}, {0, 0, 4}, {0, 1, 1}, {0, 0, 2}, {4, 1, 0}},
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

// The pieces of ForEachPiece: [0, count) once, in contiguous pieces, more
// than one per thread, and the earliest piece's exception once all are done.
TEST(ForEachPiece, ManyPiecesCoverTheRangeOnce) {
  const struct {
    int jobs;
    std::size_t count;
    std::size_t least_pieces;
  } cases[] = {{1, 10, 1}, {2, 1000, 3}, {3, 7, 7}, {2, 0, 0}, {0, 5, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.jobs << " jobs, " << c.count << " records");
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    ForEachPiece(c.jobs, c.count, [&](std::size_t begin, std::size_t end) {
      const std::lock_guard lock(mutex);
      pieces.emplace_back(begin, end);
    });
    std::sort(pieces.begin(), pieces.end());
    EXPECT_GE(pieces.size(), c.least_pieces);
    std::size_t next = 0;
    for (const auto& [begin, end] : pieces) {
      EXPECT_EQ(begin, next);
      EXPECT_LT(begin, end);
      next = end;
    }
    EXPECT_EQ(next, c.count);
  }
  std::atomic<int> ran = 0;
  EXPECT_THROW(ForEachPiece(2, 640,
                            [&](std::size_t begin, std::size_t) {
                              ++ran;
                              if (begin >= 320) throw std::out_of_range("late");
                              if (begin >= 20) throw std::invalid_argument("early");
                            }),
               std::invalid_argument);
  EXPECT_EQ(ran, 64);
}

// A crew left while its batch runs (the calling thread raised meanwhile):
// every piece begun ends before the crew is gone.
TEST(PieceCrew, LeftWhileABatchRunsThePiecesBegunEnd) {
  for (int helpers : {1, 3}) {
    SCOPED_TRACE(helpers);
    std::atomic<int> begun = 0;
    std::atomic<int> ended = 0;
    const PieceCrew::Work work = [&](std::size_t, std::size_t begin, std::size_t end) {
      ++begun;
      volatile std::size_t sum = 0;
      for (std::size_t k = begin; k < end; ++k) sum = sum + k;
      ++ended;
    };
    {
      PieceCrew crew(helpers);
      crew.Begin(1 << 20, 64, work);
    }
    EXPECT_EQ(begun, ended);
  }
}

}  // namespace
