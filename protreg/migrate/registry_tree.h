// Whole-tree operations on registry keys, for moving the product's configuration into the protected
// store. The plain forms use the Win32 functions directly (they move or remove encoded trees without
// decoding them); the layer forms go through the registry access layer, so a protected source is read
// decoded and a protected target is written encoded with its integrity records.
#pragma once
#include <windows.h>

namespace twg {

// Deletes path below root with everything in it, subkeys first. 0 also when the key does not exist
// (ERROR_FILE_NOT_FOUND is returned as such); otherwise the first error.
LONG DeleteTreePlain(HKEY root, const char* path);

// The copies below are best effort item by item: an item that can't be read or written is logged to the
// install log and counted in *failures, and the rest is copied. Value data of any size are copied whole.
// The result is the error that kept the copy from starting (source or target can't be opened), else 0.

// Copies source to target (created when missing) with the Win32 functions. Items sealed with the store's
// current key are unsealed and written plain; everything else is copied as it is; integrity records
// are left behind. A value whose name is sealed but whose datum no longer verifies counts as a failure.
LONG CopyTreeUnsealing(HKEY root, const char* source, const char* target, int* failures);

// Copies source to target through the access layer, so a plain source is written sealed below a
// protected prefix.
LONG CopyTreeThroughLayer(HKEY root, const char* source, const char* target, int* failures);

// The number of keys and values of the plain tree that the store tree does not hold with equal type
// and data (each logged); 0 when the store holds every one of them.
int CountMissingFromStore(HKEY root, const char* plain, const char* store);

// Reads every value and every subkey of the tree back through the layer; 0 when the whole tree reads.
LONG VerifyTreeThroughLayer(HKEY root, const char* path);

}  // namespace twg
