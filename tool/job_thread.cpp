#include "tool/job_thread.h"

#include <pthread.h>
#include <signal.h>

#include <system_error>

job_thread::~job_thread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void job_thread::run(std::function<void()> job) {
  if (!thread_.joinable() && !inline_) {
    // Signals are the owner's: a thread started with every signal blocked never takes one.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    try {
      thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
      inline_ = true;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  if (inline_) {
    job();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  job_ = std::move(job);
  busy_ = true;
  lock.unlock();
  changed_.notify_all();
}

void job_thread::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void job_thread::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;  // stopping with nothing in hand
    std::function<void()> job = std::move(job_);
    job_ = nullptr;
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}
