// The store's process-wide cells and the per-item reading of a partly sealed tree.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "protreg/codec/stored_item.h"
#include "protreg/once_cell.h"

namespace twg {
namespace {

// An init that runs out of memory must leave the cell retryable: before, the state word stayed at
// "running" and every later caller spun forever.
TEST(ProtregOnceCell, AnInitThatUnwindsLeavesTheCellToTheNextCaller) {
  OnceCell<std::vector<int>> cell;
  std::atomic<int> runs{0};
  auto failing = [&](std::vector<int>& v) {
    ++runs;
    v.push_back(1);  // half a value, which the next run must not see
    throw std::bad_alloc();
  };
  auto working = [&](std::vector<int>& v) {
    ++runs;
    v.push_back(2);
  };
  EXPECT_THROW(cell.Get(failing), std::bad_alloc);
  EXPECT_FALSE(cell.done());
  EXPECT_EQ(cell.Get(working), std::vector<int>{2});
  EXPECT_EQ(cell.Get(working), std::vector<int>{2});
  EXPECT_EQ(runs.load(), 2);
}

TEST(ProtregOnceCell, AWaiterTakesOverFromAnInitThatUnwinds) {
  OnceCell<int> cell;
  std::atomic<bool> first_running{false}, waiter_started{false};
  std::atomic<int> runs{0};
  std::thread first([&] {
    try {
      cell.Get([&](int&) {
        ++runs;
        first_running = true;
        while (!waiter_started) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the waiter is spinning by now
        throw std::bad_alloc();
      });
    } catch (const std::bad_alloc&) {
    }
  });
  while (!first_running) std::this_thread::yield();
  std::thread waiter([&] {
    waiter_started = true;
    EXPECT_EQ(cell.Get([&](int& v) {
      ++runs;
      v = 7;
    }), 7);
  });
  first.join();
  waiter.join();  // hangs (test timeout) when the cell stays "running"
  EXPECT_EQ(runs.load(), 2);
  EXPECT_TRUE(cell.done());
}

TEST(ProtregOnceCell, ManyCallersOneInit) {
  OnceCell<int> cell;
  std::atomic<int> runs{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      EXPECT_EQ(cell.Get([&](int& v) {
        ++runs;
        v = 42;
      }), 42);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);
}

StoreKey KeyOf(std::uint8_t seed) {
  KeyHalf half{};
  for (std::size_t i = 0; i < half.size(); ++i) half[i] = static_cast<std::uint8_t>(seed + i);
  return MakeStoreKey(half);
}

TEST(ProtregStoredItem, EachValueIsReadInTheFormItIsIn) {
  const ValueCodec codec(KeyOf(1)), other(KeyOf(2));
  std::string record, name, datum, unnamed, other_name, other_datum;
  ASSERT_TRUE(codec.EncodeName("CryptReg.KeyInfo", &record));
  ASSERT_TRUE(codec.EncodeValueName("InstallDir", &name));
  ASSERT_TRUE(codec.EncodeDatum("C:\\P\\", 6, 1, false, 3, 4, &datum));
  ASSERT_TRUE(codec.EncodeDatum("def", 4, 1, true, 5, 6, &unnamed));
  ASSERT_TRUE(other.EncodeValueName("InstallDir", &other_name));
  ASSERT_TRUE(other.EncodeDatum("C:\\P\\", 6, 1, false, 3, 4, &other_datum));
  std::string damaged = datum;
  damaged[25] ^= 1;
  const std::string plain_sz("C:\\P\\", 6);
  struct Case {
    const char* what;
    const ValueCodec* codec;
    std::string raw_name;
    std::uint32_t raw_type;
    std::string raw_data;
    StoredKind kind;
    std::string name, data;
    std::uint32_t type;
  } cases[] = {
      {"sealed named value", &codec, name, 3, datum, StoredKind::kSealed, "InstallDir", plain_sz, 1},
      {"sealed unnamed value", &codec, "", 1, unnamed, StoredKind::kSealed, "", std::string("def", 4), 1},
      {"plain value", &codec, "InstallDir", 1, plain_sz, StoredKind::kPlain, "InstallDir", plain_sz, 1},
      {"plain binary value", &codec, "Table", 3, datum, StoredKind::kPlain, "Table", datum, 3},
      {"integrity record", &codec, record, 3, datum, StoredKind::kRecord, "", "", 0},
      {"sealed name, altered datum", &codec, name, 3, damaged, StoredKind::kDamaged, "InstallDir", "", 0},
      {"sealed name, datum stored plain", &codec, name, 1, plain_sz, StoredKind::kDamaged, "InstallDir", "", 0},
      {"sealed with another key", &codec, other_name, 3, other_datum, StoredKind::kPlain, other_name, other_datum, 3},
      {"no key: everything plain", nullptr, name, 3, datum, StoredKind::kPlain, name, datum, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StoredValue v = ClassifyStoredValue(c.codec, record, c.raw_name, c.raw_type, c.raw_data);
    EXPECT_EQ(v.kind, c.kind);
    if (c.kind == StoredKind::kRecord) continue;
    EXPECT_EQ(v.name, c.name);
    if (c.kind == StoredKind::kDamaged) continue;
    EXPECT_EQ(v.data, c.data);
    EXPECT_EQ(v.type, c.type);
  }

  std::string sealed_key;
  ASSERT_TRUE(codec.EncodeName("Rules", &sealed_key));
  bool sealed = false;
  EXPECT_EQ(PlainKeyName(&codec, sealed_key, &sealed), "Rules");
  EXPECT_TRUE(sealed);
  EXPECT_EQ(PlainKeyName(&codec, "Rules", &sealed), "Rules");
  EXPECT_FALSE(sealed);
  EXPECT_EQ(PlainKeyName(&other, sealed_key, &sealed), sealed_key);
  EXPECT_FALSE(sealed);
}

}  // namespace
}  // namespace twg
