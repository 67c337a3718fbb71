#include "framework/io/qz_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// Counts the calls AutoLock makes through the virtual slots.
class CountingLock : public LockableObject {
 public:
  int lock() override { return ++locks; }
  int unlock() override { return ++unlocks; }
  int locks = 0;
  int unlocks = 0;
};

// True once another thread has taken and released the lock (a lock left held makes this hang).
template <typename Lock>
bool other_thread_gets(Lock& lock) {
  bool entered = false;
  std::thread other([&] {
    lock.lock();
    entered = true;
    lock.unlock();
  });
  other.join();
  return entered;
}

TEST(LockTest, NestedGuardsHoldTheLockUntilTheOuterScopeEnds) {
  LightweightLock lock;
  std::atomic<bool> entered{false};
  std::thread other;
  {
    AutoLock outer(&lock);
    {
      AutoLock inner(&lock);  // the same thread takes it again without blocking
      other = std::thread([&] {
        AutoLock guard(&lock);
        entered = true;
      });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered) << "released after the inner guard although the outer one still holds it";
  }
  other.join();
  EXPECT_TRUE(entered);
}

TEST(LockTest, GuardPairsItsCallsAlsoWhenLeftByAnException) {
  CountingLock counting;
  try {
    AutoLock guard(&counting);
    EXPECT_EQ(counting.locks, 1);
    EXPECT_EQ(counting.unlocks, 0);
    throw std::runtime_error("leave the scope");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(counting.unlocks, 1);

  LightweightLock lock;
  try {
    AutoLock guard(&lock);
    throw std::runtime_error("leave the scope");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(other_thread_gets(lock));

  AutoLock nothing(nullptr);  // guards nothing and must not crash
}

TEST(LockTest, LockResultsAndPlatformArea) {
  LightweightLock lock;
  EXPECT_EQ(lock.unlock(), EPERM);  // not held by this thread
  EXPECT_EQ(lock.lock(), 0);
  EXPECT_EQ(lock.lock(), 0);
  EXPECT_EQ(lock.unlock(), 0);
  EXPECT_EQ(lock.unlock(), 0);

  const u8* area = static_cast<const u8*>(lock.native_handle());
  ASSERT_NE(area, nullptr);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(area[i], 0) << "byte " << i;
}

TEST(LockTest, ThreadLockIsRecursive) {
  thread_lock lock;
  EXPECT_EQ(lock.lock(), 0);
  EXPECT_EQ(lock.lock(), 0);
  EXPECT_EQ(lock.unlock(), 0);
  EXPECT_EQ(lock.unlock(), 0);
  EXPECT_TRUE(other_thread_gets(lock));
}

}  // namespace
