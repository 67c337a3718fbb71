// Test helper: sets TZ for one scope and puts the previous value back.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class scoped_tz {
 public:
  explicit scoped_tz(const char* zone) {
    const char* old = std::getenv("TZ");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~scoped_tz() {
    if (had_old_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  scoped_tz(const scoped_tz&) = delete;
  scoped_tz& operator=(const scoped_tz&) = delete;

 private:
  bool had_old_ = false;
  std::string old_;
};
