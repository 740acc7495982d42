// Moving the product's plain configuration into the protected store, and the backups of the store.
#pragma once

namespace twg {

// The move in the order it runs. A process that dies between two stages leaves the registry as
// MoveConfigurationIntoStore(stage) leaves it; the next run picks up from there without losing anything:
// once the temporary key holds the whole configuration (and the marker says so) it is the copy that
// counts, until the store reads back.
enum class MoveStage {
  kCopyAside = 1,      // the configuration, read through the store, copied plain to "GRD.tmp"; marker set
  kNewKeyHalf,         // "SR.dat" rewritten with a new random key half
  kDeleteSource,       // the source tree removed
  kCopyIntoStore,      // "GRD.tmp" copied back through the store: everything encoded and sealed anew
  kRemoveTemporary,    // the store read back whole: "GRD.tmp" and the marker removed
  kBackup,             // LMSSIB.DAT rotated to LMSSIO.DAT and written anew, under the backup mutex
  kExport,             // NBD.DAT: the blocked-newsgroup list in its encoded form
  kAll = kExport,
};

void MoveConfigurationIntoStore(MoveStage stop_after = MoveStage::kAll);

}  // namespace twg
