// Locks over POSIX recursive mutexes: the thread that holds one may take it again and must
// release it as often. AutoLock pairs a lock with its unlock over one scope.
#pragma once

#include <pthread.h>

#include "framework/text/qz_types.h"

// Something that can be locked and unlocked.
class LockableObject {
 public:
  LockableObject();
  virtual ~LockableObject() = default;
  LockableObject(const LockableObject&) = delete;
  LockableObject& operator=(const LockableObject&) = delete;

  // 0 on success, else the error number of the failed call.
  virtual int lock() = 0;
  virtual int unlock() = 0;
  // The object's 40-byte platform area, zero-filled at construction and unused here.
  virtual void* native_handle();

 private:
  u8 platform_area_[40];
};

// A LockableObject over one recursive pthread mutex.
class LightweightLock : public LockableObject {
 public:
  LightweightLock();
  ~LightweightLock() override;

  // pthread_mutex_lock's result.
  int lock() override;
  // pthread_mutex_unlock's result.
  int unlock() override;

 private:
  pthread_mutex_t mutex_;
};

// Locks the object when built and unlocks it when destroyed; the object is not owned and must
// outlive the guard. A null object makes a guard that does nothing.
class AutoLock {
 public:
  explicit AutoLock(LockableObject* object);
  virtual ~AutoLock();
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  LockableObject* object_;
};

// One recursive pthread mutex on its own.
class thread_lock {
 public:
  thread_lock();
  ~thread_lock();
  thread_lock(const thread_lock&) = delete;
  thread_lock& operator=(const thread_lock&) = delete;

  // pthread_mutex_lock's result.
  int lock();
  // pthread_mutex_unlock's result.
  int unlock();

 private:
  pthread_mutex_t mutex_;
};
