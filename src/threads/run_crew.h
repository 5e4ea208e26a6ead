// The helper threads of a whole run, started once and lent to each batch
// reader and writer in turn.
#pragma once

#include <atomic>
#include <optional>

#include "threads/piece_crew.h"

/// Keeps one crew of `jobs` - 1 helper threads for as long as it lives: the
/// crews the batch readers and writers ask for (BorrowedCrew) are this one
/// while it is free, so that a run starts its threads once, not once per
/// block of records. One is kept at a time; a second one keeps nothing.
/// Must outlive every crew borrowed from it.
class RunCrew {
 public:
  explicit RunCrew(int jobs);
  /// Stops the threads.
  ~RunCrew();
  RunCrew(const RunCrew&) = delete;
  RunCrew& operator=(const RunCrew&) = delete;

  /// The threads started so far.
  std::size_t helpers() const { return crew_.helpers(); }

 private:
  friend class BorrowedCrew;

  PieceCrew crew_;
  std::atomic<bool> lent_{false};
  bool kept_ = false;  // the crew the borrowers find
};

/// A crew of up to `helpers` threads for the batches of one reader or
/// writer: the run's crew when one is kept, has as many threads and is not
/// lent, else one of its own.
class BorrowedCrew {
 public:
  explicit BorrowedCrew(int helpers);
  /// Lets the pieces begun end, then gives the run's crew back.
  ~BorrowedCrew();
  BorrowedCrew(const BorrowedCrew&) = delete;
  BorrowedCrew& operator=(const BorrowedCrew&) = delete;

  PieceCrew& operator*() { return *crew_; }
  PieceCrew* operator->() { return crew_; }
  /// Whether the crew is the run's.
  bool borrowed() const { return lender_ != nullptr; }

 private:
  RunCrew* lender_ = nullptr;
  std::optional<PieceCrew> own_;
  PieceCrew* crew_ = nullptr;
};
