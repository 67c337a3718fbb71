#include "framework/io/qz_lock.h"

#include <cstring>

namespace {

void init_recursive_mutex(pthread_mutex_t& mutex) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

}  // namespace

LockableObject::LockableObject() { std::memset(platform_area_, 0, sizeof platform_area_); }

void* LockableObject::native_handle() { return platform_area_; }

LightweightLock::LightweightLock() { init_recursive_mutex(mutex_); }

LightweightLock::~LightweightLock() { pthread_mutex_destroy(&mutex_); }

int LightweightLock::lock() { return pthread_mutex_lock(&mutex_); }

int LightweightLock::unlock() { return pthread_mutex_unlock(&mutex_); }

AutoLock::AutoLock(LockableObject* object) : object_(object) {
  if (object_) object_->lock();
}

AutoLock::~AutoLock() {
  if (object_) object_->unlock();
}

thread_lock::thread_lock() { init_recursive_mutex(mutex_); }

thread_lock::~thread_lock() { pthread_mutex_destroy(&mutex_); }

int thread_lock::lock() { return pthread_mutex_lock(&mutex_); }

int thread_lock::unlock() { return pthread_mutex_unlock(&mutex_); }
