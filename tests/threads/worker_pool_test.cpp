// The kept threads: work runs on another thread, is waited for, and the
// threads are taken again instead of new ones.
#include "threads/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

// Rounds of `at_once` pieces of work running together, each waited for
// before the next round; the work of each piece may itself start `nested`
// pieces. Every piece runs once, on a thread other than the one that
// started it; without nesting, the threads are the same from one round to
// the next.
TEST(PooledWork, RunsOnKeptThreadsAndIsWaitedFor) {
  const struct {
    int at_once;
    int nested;
  } cases[] = {{1, 0}, {3, 0}, {2, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at_once << " at once, " << c.nested << " nested");
    std::set<std::thread::id> threads_of_first_round;
    for (int round = 0; round < 20; ++round) {
      std::atomic<int> ran{0};
      std::atomic<bool> on_caller{false};
      std::vector<std::thread::id> ids(static_cast<std::size_t>(c.at_once));
      const std::thread::id caller = std::this_thread::get_id();
      {
        std::vector<PooledWork> running;
        for (int k = 0; k < c.at_once; ++k) {
          running.emplace_back([&, k] {
            ids[static_cast<std::size_t>(k)] = std::this_thread::get_id();
            on_caller = on_caller || std::this_thread::get_id() == caller;
            std::vector<PooledWork> inner;
            for (int n = 0; n < c.nested; ++n) inner.emplace_back([&] { ++ran; });
            ++ran;
          });
          ASSERT_TRUE(running.back().started());
        }
      }  // waited for as they go
      EXPECT_EQ(ran, c.at_once * (1 + c.nested));
      EXPECT_FALSE(on_caller);
      if (round == 0) {
        threads_of_first_round.insert(ids.begin(), ids.end());
      } else if (c.nested == 0) {
        for (const std::thread::id id : ids) EXPECT_EQ(threads_of_first_round.count(id), 1u);
      }
    }
  }
}

// A wait ends the work's hold on its thread: waiting again, or destroying
// the waited or moved-from work, does nothing more.
TEST(PooledWork, WaitingTwiceAndMovingAreHarmless) {
  int value = 0;
  PooledWork first([&] { value = 1; });
  first.Wait();
  EXPECT_EQ(value, 1);
  first.Wait();
  EXPECT_FALSE(first.started());
  PooledWork second([&] { value = 2; });
  PooledWork moved(std::move(second));
  EXPECT_FALSE(second.started());  // NOLINT(bugprone-use-after-move): the moved-from state
  moved.Wait();
  EXPECT_EQ(value, 2);
}

}  // namespace
