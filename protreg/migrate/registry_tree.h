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

// Copies every subkey and value of source into target (created when missing). Value data of any size
// are copied whole. Returns the first error; a value that cannot be read ends the copy of its key with
// that error, so a caller never deletes a source whose copy is incomplete.
LONG CopyTreePlain(HKEY source_root, const char* source, HKEY target_root, const char* target);
LONG CopyTreeThroughLayer(HKEY source_root, const char* source, HKEY target_root, const char* target);

// Reads every value and every subkey of the tree back through the layer; 0 when the whole tree reads.
LONG VerifyTreeThroughLayer(HKEY root, const char* path);

}  // namespace twg
