// Moving the product's plain configuration into the protected store, and the backups of the store.
#pragma once

namespace twg {

// The move in the order it runs. A process that dies anywhere between two stages, or inside one, leaves
// the registry in a state from which the next run completes the move without losing anything:
// MoveConfigurationIntoStore(stage) stops where such a death would. What makes it safe is the marker
// (value "GRD.tmp complete" in "SOFTWARE\Veltrane"): while it is set, "GRD.tmp" holds the whole
// configuration in plain words, and it is set only after "GRD.tmp" was filled and cleared before
// "GRD.tmp" is deleted.
enum class MoveStage {
  kCopyAside = 1,    // the source copied to "GRD.tmp": sealed items unsealed, plain ones as they are; marker set
  kNewKeyHalf,       // marker: the source is being replaced; "SR.dat" holds a new key half, read back equal
  kDeleteSource,     // the source tree removed
  kCopyIntoStore,    // "GRD.tmp" written back through the store item by item, sealed with the new half
  kCheckStore,       // marker: the source reads with the current half; the store compared with "GRD.tmp"
  kClearMarker,      // (only when the store holds every item equal) the marker removed
  kRemoveTemporary,  // "GRD.tmp" removed
  kBackup,           // under the backup mutex: LMSSIB.DAT rotated to LMSSIO.DAT and written anew
  kExport,           // NBD.DAT: the blocked-newsgroup list in its encoded form
  kAll = kExport,
};

void MoveConfigurationIntoStore(MoveStage stop_after = MoveStage::kAll);

}  // namespace twg
