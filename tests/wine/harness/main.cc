#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

// A test that hangs (an installer session that never returns) would hold the whole run until ctest's
// limit; this names it and ends the runner after TWG_TEST_LIMIT_S seconds (300) instead.
class Watchdog : public testing::EmptyTestEventListener {
 public:
  Watchdog() {
    const char* limit = std::getenv("TWG_TEST_LIMIT_S");
    limit_ms_ = (limit ? std::atoi(limit) : 300) * 1000;
    // The thread lives as long as the runner; its handle is not needed.
    CloseHandle(CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr));
  }
  void OnTestStart(const testing::TestInfo& test) override {
    std::snprintf(name_, sizeof name_, "%s.%s", test.test_suite_name(), test.name());
    started_ = GetTickCount();
  }
  void OnTestEnd(const testing::TestInfo&) override { started_ = 0; }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    for (;; Sleep(1000)) {
      const DWORD started = dog->started_;
      if (started != 0 && GetTickCount() - started > static_cast<DWORD>(dog->limit_ms_)) {
        std::printf("\n[  HUNG    ] %s: still running after %d s; the runner ends here\n", dog->name_,
                    dog->limit_ms_ / 1000);
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
      }
    }
  }
  char name_[256] = {};
  volatile DWORD started_ = 0;
  int limit_ms_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return RUN_ALL_TESTS();
}
