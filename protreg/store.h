// The protected store's process-wide state: whether the store is enabled and its key half ("SR.dat" in
// the system folder), the keyed codec, the random bytes of each datum, the protected prefixes (from
// "Software\Veltrane\VelReg") and the encoded name of the integrity record. Each is made once, on first
// need, by an interlocked once-only cell, and kept while the library is loaded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "protreg/codec/key_path.h"
#include "protreg/store_key.h"
#include "protreg/codec/value_codec.h"

namespace twg {

// A value made exactly once: the first caller moves the state word from 0 (not started) to 1
// (running) with an interlocked compare-exchange and runs the init; the increment to 2 (done)
// publishes the result. Callers that find 1 yield until it is no longer 1. Never reset or freed.
template <typename T>
class OnceCell {
 public:
  template <typename Init>
  T& Get(Init&& init) {
    if (InterlockedCompareExchange(&state_, 1, 0) == 0) {
      init(value_);
      InterlockedIncrement(&state_);
    } else {
      while (InterlockedCompareExchange(&state_, 1, 1) == 1) Sleep(0);
    }
    return value_;
  }

 private:
  volatile LONG state_ = 0;
  T value_{};
};

// True when "SR.dat" was read whole and its flag is non-zero.
bool StoreEnabled();

// The codec keyed with the store key, or null when the key half is not available.
const ValueCodec* StoreCodec();

// The encoded name of the integrity record, or null when the key half is not available.
const std::string* KeyInfoValueName();

// The protected prefixes in list order (the default when "SpecialPath1" can't be read).
const PrefixList& ProtectedPrefixes();

// The low byte of the next draw of the store's generator (seeded once with the time in seconds).
std::uint8_t RandomByte();

// While raised, a missing key in the plain part of a protected path is not taken for tampering, so the
// prefix key may be created by the store itself. Interlocked; always pair Raise with Lower.
void RaiseCreationAllowance();
void LowerCreationAllowance();
bool CreationAllowed();

// The full path of "SR.dat".
std::string StoreKeyFilePath();

// Writes "SR.dat" ("wb": flag 1 and the ten bytes) and puts the half into this process's store: the
// codec and the record name are rekeyed, so everything written afterwards is sealed with the new half.
// False when the file could not be written whole (the in-memory store is changed anyway).
bool WriteStoreKeyFile(const KeyHalf& half);

}  // namespace twg
