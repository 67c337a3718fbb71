#include "tool/job_thread.h"

#include <utility>

#include "framework/io/qz_interrupt.h"

job_thread::~job_thread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void job_thread::run(std::function<void()> job) {
  if (!thread_.joinable() && !inline_) inline_ = !start_thread_without_signals(thread_, [this] { loop(); });
  if (inline_) {
    job();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  job_ = std::move(job);
  busy_ = true;
  lock.unlock();
  changed_.notify_all();
}

std::exception_ptr job_thread::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  return std::exchange(failure_, nullptr);
}

void job_thread::wait() {
  if (std::exception_ptr failure = finish()) std::rethrow_exception(failure);
}

bool job_thread::settle() noexcept { return finish() == nullptr; }

void job_thread::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;  // stopping with nothing in hand
    std::function<void()> job = std::move(job_);
    job_ = nullptr;
    lock.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    job = nullptr;
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}
