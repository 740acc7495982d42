// Protected set and query of a value against plain RegSetValueExA / RegQueryValueExA on the same key,
// 10,000 operations each, under Wine; prints the times and the two ratios. Run by scripts/bench-protreg.sh
// in a fresh copy of the test prefix (it writes "SR.dat" and HKEY_LOCAL_MACHINE\Software\Veltrane\GRD).
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "protreg/prot_key.h"
#include "protreg/prot_reg.h"
#include "protreg/store.h"

int main() {
  twg::WriteStoreKeyFile({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  twg::RaiseCreationAllowance();
  twg::ScopedProtKey key;
  twg::ProtRegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\GRD", 0, nullptr, 0, KEY_ALL_ACCESS,
                           nullptr, key.Receive(), nullptr);
  twg::LowerCreationAllowance();
  const HKEY real = twg::RealKey(key);
  const BYTE text[] = "C:\\Program Files\\Veltrane\\Taskan Web Guard\\";
  BYTE buffer[256];
  DWORD size = sizeof buffer;  // a query leaves the value's size here, all the next one needs
  LONG failed = 0;
  // [0] protected set, [1] plain set, [2] protected query, [3] plain query, in alternating batches so that
  // a busy machine slows every kind alike. The plain value goes after each round: written behind the
  // store's back it makes the key's record stale, and the store then refuses writes.
  double seconds[4] = {};
  for (int round = 0; round < 20; ++round) {
    for (int kind = 0; kind < 4; ++kind) {
      auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < 500; ++i) {
        failed |= kind == 0   ? twg::ProtRegSetValueExA(key, "InstallDir", 0, REG_SZ, text, sizeof text)
                  : kind == 1 ? RegSetValueExA(real, "PlainValue", 0, REG_SZ, text, sizeof text)
                  : kind == 2 ? twg::ProtRegQueryValueExA(key, "InstallDir", nullptr, nullptr, buffer, &size)
                              : RegQueryValueExA(real, "PlainValue", nullptr, nullptr, buffer, &size);
      }
      seconds[kind] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    RegDeleteValueA(real, "PlainValue");
  }
  if (failed) std::printf("AN OPERATION FAILED (is the store key there?)\n");
  std::printf("  set:   plain %7.1f ms  protected %7.1f ms  ratio %.2f (target: at most 8)\n",
              seconds[1] * 1e3, seconds[0] * 1e3, seconds[0] / seconds[1]);
  std::printf("  query: plain %7.1f ms  protected %7.1f ms  ratio %.2f (target: at most 2.5)\n",
              seconds[3] * 1e3, seconds[2] * 1e3, seconds[2] / seconds[3]);
  return failed ? 1 : 0;
}
