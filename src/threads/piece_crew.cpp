#include "threads/piece_crew.h"

#include <chrono>
#include <system_error>

#include "system/interruptions.h"

namespace {

constexpr std::uint64_t kPieceBits = 0xffffffffu;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

PieceCrew::PieceCrew(int helpers, bool weigh_help)
    : wanted_(static_cast<std::size_t>(std::max(helpers, 0))), weigh_help_(weigh_help) {}

void PieceCrew::StartHelpers(std::size_t count) {
  if (threads_.size() >= count || start_failed_) return;
  threads_.reserve(count);
  // Started with interruptions held, whose mask they keep: an interruption
  // reaches the calling thread only, which holds it while it renames.
  InterruptionsHeld held;
  while (threads_.size() < count) {
    try {
      threads_.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      start_failed_ = true;  // the threads running share the pieces
      return;
    }
  }
}

PieceCrew::~PieceCrew() {
  Close();
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  threads_.clear();
}

void PieceCrew::Begin(std::size_t count, std::size_t pieces, const Work& work) {
  Job job;
  job.count = count;
  job.pieces = std::min(count, std::max<std::size_t>(pieces, 1));
  if (job.pieces > 1 && wanted_ > 0 && weigh_help_ && balance_.NextAlone()) job.pieces = 1;
  job.work = &work;
  thrown_.assign(job.pieces, nullptr);
  {
    const std::lock_guard lock(mutex_);
    job.generation = job_.generation + 1;
    job_ = job;
    done_ = 0;
    waited_ = SIZE_MAX;
    next_.store(std::uint64_t{job.generation} << 32, std::memory_order_release);
  }
  if (job.pieces <= 1) return;
  // Threads are started when a batch first has pieces for them.
  StartHelpers(std::min(wanted_, job.pieces - 1));
  wake_.notify_all();
}

std::size_t PieceCrew::Finish() {
  const bool shared = job_.pieces > 1 && !threads_.empty();
  const Clock::time_point start = Clock::now();
  const std::size_t own = RunPieces(job_);
  if (shared && own > 0) piece_seconds_ = SecondsSince(start) / static_cast<double>(own);
  const double waited = Close();
  if (shared && piece_seconds_ > 0) {
    balance_.Shared(piece_seconds_ * static_cast<double>(job_.pieces - own), waited);
  }
  for (const std::exception_ptr& e : thrown_) {
    if (e) std::rethrow_exception(e);
  }
  return job_.pieces;
}

double PieceCrew::Close() {
  const std::uint64_t was = next_.fetch_or(kPieceBits, std::memory_order_acq_rel);
  // A batch closed before (an abandoned one too) has had its wait.
  if ((was >> 32) != job_.generation || (was & kPieceBits) == kPieceBits) return 0;
  std::unique_lock lock(mutex_);
  waited_ = std::min<std::size_t>(was & kPieceBits, job_.pieces);
  if (done_ == waited_) return 0;
  const Clock::time_point start = Clock::now();
  finished_.wait(lock, [this] { return done_ == waited_; });
  return SecondsSince(start);
}

bool PieceCrew::Take(const Job& job, std::size_t& piece) {
  std::uint64_t now = next_.load(std::memory_order_acquire);
  for (;;) {
    if ((now >> 32) != job.generation || (now & kPieceBits) >= job.pieces) return false;
    if (next_.compare_exchange_weak(now, now + 1, std::memory_order_acq_rel,
                                    std::memory_order_acquire)) {
      piece = static_cast<std::size_t>(now & kPieceBits);
      return true;
    }
  }
}

std::size_t PieceCrew::RunPieces(const Job& job) {
  std::size_t piece = 0;
  std::size_t run = 0;
  for (; Take(job, piece); ++run) {
    try {
      (*job.work)(piece, job.begin(piece), job.begin(piece + 1));
    } catch (...) {
      thrown_[piece] = std::current_exception();
    }
    const std::lock_guard lock(mutex_);
    if (++done_ == waited_) finished_.notify_one();
  }
  return run;
}

void PieceCrew::Serve() {
  std::uint32_t seen = 0;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || job_.generation != seen; });
      if (stopping_) return;
      job = job_;
    }
    seen = job.generation;
    // A batch of one piece is the calling thread's alone.
    if (job.pieces > 1) RunPieces(job);
  }
}
