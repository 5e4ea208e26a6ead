// Whether the threads beside the calling thread pay for themselves.
#pragma once

#include <algorithm>
#include <cstddef>

/// Weighs the work the other threads take off the calling thread against
/// the time it waits for pieces they hold: when their core goes to another
/// process in the middle of a piece, the calling thread waits until they
/// get it back. Once the waits have cost more than the help gave, the
/// calling thread converts the next batches alone, then tries again; alone
/// twice as long each time a trial does not pay.
class HelpBalance {
 public:
  /// The batches alone after the first waits that did not pay, and the most.
  static constexpr std::size_t kFirstAlone = 4;
  static constexpr std::size_t kMostAlone = 64;

  /// Whether the next batch goes to the calling thread alone.
  bool NextAlone() {
    if (alone_left_ == 0) return false;
    if (--alone_left_ == 0) trial_ = true;
    return true;
  }

  /// A batch shared: the others converted what would have taken the calling
  /// thread `gained` seconds, and it waited `waited` seconds for them.
  void Shared(double gained, double waited) {
    // Older batches count less and less.
    gained_ = gained_ / 2 + gained;
    waited_ = waited_ / 2 + waited;
    if (waited_ <= gained_) {
      if (trial_) alone_next_ = kFirstAlone;
      trial_ = false;
      return;
    }
    alone_left_ = alone_next_;
    alone_next_ = std::min(alone_next_ * 2, kMostAlone);
    gained_ = waited_ = 0;
    trial_ = false;
  }

 private:
  double gained_ = 0;
  double waited_ = 0;
  std::size_t alone_left_ = 0;
  std::size_t alone_next_ = kFirstAlone;
  bool trial_ = false;  // the batch after a stretch alone
};
