// The initial P-array and S-boxes of Blowfish (generated; see gen_blowfish_tables.py).
#pragma once
#include <cstdint>

namespace twg {

extern const std::uint32_t kBlowfishInitialP[18];
extern const std::uint32_t kBlowfishInitialS[4][256];

}  // namespace twg
