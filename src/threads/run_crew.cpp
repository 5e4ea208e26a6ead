#include "threads/run_crew.h"

#include <algorithm>

namespace {

// The crew kept for the run, if any.
std::atomic<RunCrew*> kept_crew{nullptr};

}  // namespace

RunCrew::RunCrew(int jobs) : crew_(std::max(jobs, 1) - 1) {
  if (jobs <= 1) return;
  RunCrew* none = nullptr;
  kept_ = kept_crew.compare_exchange_strong(none, this);
}

RunCrew::~RunCrew() {
  if (kept_) kept_crew.store(nullptr);
}

BorrowedCrew::BorrowedCrew(int helpers) {
  RunCrew* const kept = helpers > 0 ? kept_crew.load() : nullptr;
  // The run's crew lends itself to one borrower at a time; the flag passes
  // what the last one left in the crew on to the next.
  if (kept != nullptr && static_cast<std::size_t>(helpers) <= kept->crew_.wanted() &&
      !kept->lent_.exchange(true, std::memory_order_acquire)) {
    lender_ = kept;
    crew_ = &kept->crew_;
    return;
  }
  crew_ = &own_.emplace(helpers);
}

BorrowedCrew::~BorrowedCrew() {
  if (lender_ == nullptr) return;
  // Nothing of the borrower's stays in the threads' hands.
  crew_->Close();
  lender_->lent_.store(false, std::memory_order_release);
}
