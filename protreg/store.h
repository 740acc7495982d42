// The protected store's process-wide state: whether the store is enabled and its key half ("SR.dat" in
// the system folder), the keyed codec, the random bytes of each datum, the protected prefixes (from
// "Software\Veltrane\VelReg") and the encoded name of the integrity record. Each is made once, on first
// need, by an interlocked once-only cell, and kept while the library is loaded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "protreg/codec/key_path.h"
#include "protreg/once_cell.h"
#include "protreg/store_key.h"
#include "protreg/codec/value_codec.h"

namespace twg {

// True when the flag of "SR.dat" was read and is non-zero, also when the key half after it is short:
// then the store is on but its key is unavailable, and its calls fail with 8 rather than letting
// plain values into an encoded tree.
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

// Writes "SR.dat" ("wb": flag 1 and the ten bytes) and reads it back. Only when it reads back whole and
// equal is the half put into this process's store (codec and record name rekeyed, so everything written
// afterwards is sealed with it) and true returned. Otherwise the file gets back what it held before
// (or is removed if there was none) and this process's store is unchanged: a half that exists only in
// memory would seal a store no later process can read.
bool WriteStoreKeyFile(const KeyHalf& half);

}  // namespace twg
