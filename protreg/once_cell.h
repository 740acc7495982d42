// A value made exactly once per process, shared by threads without a lock. Windows-free apart from
// the yield, so its retry rule is unit-tested natively.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

namespace twg {

// The first caller moves the state word from 0 (not started) to 1 (running) with an interlocked
// compare-exchange and runs the init; moving it to 2 (done) publishes the result. Callers that find 1
// yield until it changes. An init that does not return (an allocation that failed and unwound) puts the
// word back to 0, so a waiting or later caller runs the init itself instead of spinning forever.
template <typename T>
class OnceCell {
 public:
  template <typename Init>
  T& Get(Init&& init) {
    for (;;) {
      long seen = __sync_val_compare_and_swap(&state_, 0L, 1L);
      if (seen == kDone) return value_;
      if (seen == kNotStarted) break;
      Pause();
    }
    Rollback rollback{&state_};
    value_ = T{};  // a run that unwound may have left half a value
    init(value_);
    rollback.armed = false;
    __sync_val_compare_and_swap(&state_, kRunning, kDone);
    return value_;
  }

  // Whether the value has been made (for tests).
  bool done() const { return __sync_val_compare_and_swap(const_cast<volatile long*>(&state_), -1L, -1L) == kDone; }

 private:
  static constexpr long kNotStarted = 0, kRunning = 1, kDone = 2;
  struct Rollback {
    volatile long* state;
    bool armed = true;
    ~Rollback() {
      if (armed) __sync_val_compare_and_swap(state, kRunning, kNotStarted);
    }
  };
  static void Pause() {
#ifdef _WIN32
    Sleep(0);
#else
    sched_yield();
#endif
  }

  volatile long state_ = kNotStarted;
  T value_{};
};

}  // namespace twg
