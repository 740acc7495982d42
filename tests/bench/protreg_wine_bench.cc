// Protected set and query of a value against plain RegSetValueExA / RegQueryValueExA on the same key,
// 10,000 operations each, under Wine. Prints the times and the two ratios. Run by
// scripts/bench-protreg.sh in a fresh copy of the test prefix (it writes "SR.dat" and
// HKEY_LOCAL_MACHINE\Software\Veltrane\GRD).
#include <windows.h>

#include <cstdio>
#include <string>

#include "protreg/prot_key.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

namespace {

constexpr int kOperations = 10000;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Runs op `count` times from `first` and adds the elapsed time to *total.
template <typename Op>
void Time(int first, int count, double* total, Op&& op) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  for (int i = first; i < first + count; ++i) {
    if (LONG status = op(i); status != ERROR_SUCCESS) {
      std::printf("operation %d failed with %ld\n", i, status);
      std::exit(1);
    }
  }
  QueryPerformanceCounter(&end);
  *total += Seconds(start, end);
}

}  // namespace

int main() {
  twg::WriteStoreKeyFile({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey key;
  LONG status = twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
  twg::LowerCreationAllowance();
  if (status != ERROR_SUCCESS) {
    std::printf("cannot create the store key: %ld\n", status);
    return 1;
  }
  HKEY real = twg::RealKey(key);
  const char text[] = "C:\\Program Files\\Veltrane\\Taskan Web Guard\\";
  const BYTE* data = reinterpret_cast<const BYTE*>(text);
  char buffer[256];

  // The two kinds run in alternating batches, so that a busy machine slows both alike. The plain
  // value is removed after each plain batch: added behind the store's back, it makes the key's record
  // stale and the store refuses further writes (reads of intact values go on working).
  constexpr int kBatch = 500;
  double protected_set = 0, plain_set = 0, protected_query = 0, plain_query = 0;
  auto protected_write = [&](int) { return twg::ProtRegSetValueExA(key, "InstallDir", 0, REG_SZ, data, sizeof text); };
  auto plain_write = [&](int) { return RegSetValueExA(real, "PlainValue", 0, REG_SZ, data, sizeof text); };
  auto protected_read = [&](int) {
    DWORD size = sizeof buffer, type;
    return twg::ProtRegQueryValueExA(key, "InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  };
  auto plain_read = [&](int) {
    DWORD size = sizeof buffer, type;
    return RegQueryValueExA(real, "PlainValue", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  };
  for (int first = 0; first < kOperations; first += kBatch) {
    Time(first, kBatch, &protected_set, protected_write);
    Time(first, kBatch, &plain_set, plain_write);
    Time(first, kBatch, &plain_query, plain_read);
    Time(first, kBatch, &protected_query, protected_read);
    RegDeleteValueA(real, "PlainValue");
  }

  std::printf("%d operations each, same key (HKEY_LOCAL_MACHINE\\Software\\Veltrane\\GRD)\n", kOperations);
  std::printf("  set:   plain %7.1f ms  protected %7.1f ms  ratio %.2f (target: at most 8)\n", plain_set * 1e3,
              protected_set * 1e3, protected_set / plain_set);
  std::printf("  query: plain %7.1f ms  protected %7.1f ms  ratio %.2f (target: at most 2.5)\n", plain_query * 1e3,
              protected_query * 1e3, protected_query / plain_query);
  return 0;
}
