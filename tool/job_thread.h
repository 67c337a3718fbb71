// job_thread: one thread that runs jobs behind its owner, one at a time. The owner hands a job
// over and goes on with its own work; handing over the next job first waits for the one in
// hand. The split writer formats and writes a batch of rows there while the next rows are read.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class job_thread {
 public:
  job_thread() = default;
  job_thread(const job_thread&) = delete;
  job_thread& operator=(const job_thread&) = delete;
  // Waits for the job in hand, then ends the thread.
  ~job_thread();

  // Waits for the job in hand, then hands job over. The thread starts with the first job and
  // takes no signals (they stay with the owner's thread); when it cannot be started every job
  // runs in the caller, at once.
  void run(std::function<void()> job);
  // Returns once the job in hand, if any, has finished; what it wrote is then visible here.
  void wait();

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  bool inline_ = false;  // no thread could be started
  std::thread thread_;
};
