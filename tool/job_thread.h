// job_thread: one thread that runs jobs behind its owner, one at a time. The owner hands a job
// over and goes on with its own work; handing over the next job first waits for the one in
// hand. A job that ends in an exception hands it back: the owner's next wait or run throws it,
// so that running out of memory on the thread ends the run as it would on the owner's. The
// split writer formats and writes a batch of rows there while the next rows are read.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class job_thread {
 public:
  job_thread() = default;
  job_thread(const job_thread&) = delete;
  job_thread& operator=(const job_thread&) = delete;
  // Waits for the job in hand, then ends the thread; an exception not yet handed back is dropped.
  ~job_thread();

  // Waits for the job in hand (throwing its exception, as wait does), then hands job over. The
  // thread starts with the first job and takes no signals (they stay with the owner's thread);
  // when it cannot be started every job runs in the caller, at once.
  void run(std::function<void()> job);
  // Returns once the job in hand, if any, has finished; what it wrote is then visible here. A
  // job that ended in an exception throws it here, once.
  void wait();
  // wait for a destructor: never throws; false when a job's exception was dropped.
  bool settle() noexcept;

 private:
  void loop();
  // Waits for the job in hand; the exception it ended in, taken out.
  std::exception_ptr finish();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  std::exception_ptr failure_;  // of the last job, until handed back
  bool busy_ = false;
  bool stopping_ = false;
  bool inline_ = false;  // no thread could be started
  std::thread thread_;
};
