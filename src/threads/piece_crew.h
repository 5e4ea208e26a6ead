// Threads kept for a run of batches: each batch is cut into pieces that the
// calling thread and the crew take as they come, through one shared counter.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "threads/help_balance.h"

/// Runs pieces of batches on the calling thread and up to `helpers` threads
/// kept from one batch to the next. A batch waits only for the pieces some
/// thread has begun: a thread that is not running when the batch begins
/// (its core given to another process) takes nothing, and the others do its
/// share. A thread that cannot be started leaves its share to the others.
/// When the waits for pieces the others hold cost more than their help
/// gives (HelpBalance), the calling thread takes the next batches alone, in
/// one piece.
class PieceCrew {
 public:
  /// Converts piece `piece`, records [begin, end), on any thread.
  using Work = std::function<void(std::size_t piece, std::size_t begin, std::size_t end)>;

  /// `weigh_help` false: every batch is cut into the pieces asked for, even
  /// when the help does not pay.
  explicit PieceCrew(int helpers, bool weigh_help = true);
  /// Lets the batch's pieces in progress end, then stops the threads.
  ~PieceCrew();
  PieceCrew(const PieceCrew&) = delete;
  PieceCrew& operator=(const PieceCrew&) = delete;

  /// Cuts [0, count) into at most `pieces` contiguous pieces, none empty,
  /// and lets the threads take them with `work`, which must live until
  /// Finish. The calling thread may do something else before Finish.
  void Begin(std::size_t count, std::size_t pieces, const Work& work);
  /// Takes the pieces left on the calling thread, waits for those the others
  /// took, and returns the number of pieces. What a piece threw is thrown
  /// then, the earliest piece's.
  std::size_t Finish();

  /// The pieces of the batch begun last, and where piece `piece` begins.
  std::size_t pieces() const { return job_.pieces; }
  std::size_t begin(std::size_t piece) const { return job_.begin(piece); }
  /// The threads started beside the calling thread: up to `helpers`, as
  /// batches with that many pieces beyond one come.
  std::size_t helpers() const { return threads_.size(); }
  /// The threads asked for.
  std::size_t wanted() const { return wanted_; }

  /// Takes no more piece of the batch begun and waits for those begun,
  /// which throw nothing more; returns the seconds waited.
  double Close();

 private:
  struct Job {
    std::uint32_t generation = 0;
    std::size_t count = 0;
    std::size_t pieces = 0;
    const Work* work = nullptr;
    std::size_t begin(std::size_t piece) const {
      return count / pieces * piece + std::min(piece, count % pieces);
    }
  };

  void StartHelpers(std::size_t count);
  void Serve();
  // Runs pieces of `job` until none is left; returns how many.
  std::size_t RunPieces(const Job& job);
  // The next piece of `job` not yet taken; false when none is left or the
  // batch has ended.
  bool Take(const Job& job, std::size_t& piece);

  // The batch's generation (high half) and its next piece (low half): a
  // thread that wakes late takes no piece of a later batch for its own.
  std::atomic<std::uint64_t> next_{0};
  std::mutex mutex_;
  std::condition_variable wake_;      // a batch begins, or the crew stops
  std::condition_variable finished_;  // the last piece begun is done
  Job job_;                           // written under mutex_ by the calling thread
  std::size_t done_ = 0;              // pieces of the batch done, under mutex_
  std::size_t waited_ = SIZE_MAX;     // the pieces Finish or Close waits for
  bool stopping_ = false;
  std::size_t wanted_;  // the threads asked for
  bool weigh_help_;
  bool start_failed_ = false;  // a thread could not be started: no more are tried
  HelpBalance balance_;
  double piece_seconds_ = 0;                // the calling thread's last pace, per piece
  std::vector<std::exception_ptr> thrown_;  // by piece
  std::vector<std::jthread> threads_;       // last: joined before the others go
};
