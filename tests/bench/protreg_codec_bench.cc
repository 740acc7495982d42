// The store's codec against the same encodings built on OpenSSL (Blowfish with the little-endian block
// halves, SHA-1 seal, base64), names and data of 8 to 256 bytes. Prints each pair's time ratio
// (ours / OpenSSL CPU time, the median of the repetitions asked for; below 1 is faster) after the
// usual table. A shared machine is noisy: scripts/bench-protreg.sh asks for 9 repetitions, randomly interleaved.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "protreg/codec/value_codec.h"
#include "tests/unit/protreg_openssl_reference.h"

namespace {

const twg::StoreKey kKey = twg::MakeStoreKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
const twg::ValueCodec kCodec(kKey);
const twg::reference::OpenSslEncoding kOpenSsl(kKey);

std::string Plain(benchmark::State& state) { return std::string(static_cast<std::size_t>(state.range(0)), 'n'); }

void OursEncodeName(benchmark::State& state) {
  std::string plain = Plain(state), out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kCodec.EncodeName(plain, &out));
    benchmark::DoNotOptimize(out.data());
  }
}
void OpenSslEncodeName(benchmark::State& state) {
  std::string plain = Plain(state);
  for (auto _ : state) benchmark::DoNotOptimize(kOpenSsl.Name(plain));
}

void OursDecodeName(benchmark::State& state) {
  std::string stored, work;
  (void)kCodec.EncodeName(Plain(state), &stored);
  for (auto _ : state) {
    work = stored;
    const char* p;
    std::size_t n;
    benchmark::DoNotOptimize(kCodec.DecodeName(&work[0], work.size(), &p, &n));
  }
}
void OpenSslDecodeName(benchmark::State& state) {
  std::string stored = kOpenSsl.Name(Plain(state));
  bool opened;
  if (kOpenSsl.Open(kOpenSsl.Unbase64(stored), &opened) != Plain(state) || !opened) state.SkipWithError("no round trip");
  for (auto _ : state) {
    bool ok;
    benchmark::DoNotOptimize(kOpenSsl.Open(kOpenSsl.Unbase64(stored), &ok));
  }
}

void OursEncodeDatum(benchmark::State& state) {
  std::string plain = Plain(state), out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kCodec.EncodeDatum(plain.data(), plain.size(), 3, false, 1, 2, &out));
    benchmark::DoNotOptimize(out.data());
  }
}
void OpenSslEncodeDatum(benchmark::State& state) {
  std::string plain = Plain(state);
  for (auto _ : state) benchmark::DoNotOptimize(kOpenSsl.Datum(plain, 3, 1, 2, false));
}

void OursDecodeDatum(benchmark::State& state) {
  std::string stored, work;
  std::string plain = Plain(state);
  (void)kCodec.EncodeDatum(plain.data(), plain.size(), 3, false, 1, 2, &stored);
  for (auto _ : state) {
    work = stored;
    const std::uint8_t* p;
    std::size_t n;
    std::uint32_t type;
    benchmark::DoNotOptimize(
        kCodec.DecodeDatum(reinterpret_cast<std::uint8_t*>(&work[0]), work.size(), false, &p, &n, &type));
  }
}
void OpenSslDecodeDatum(benchmark::State& state) {
  std::string plain = Plain(state);
  std::string stored = kOpenSsl.Datum(plain, 3, 1, 2, false);
  bool opened;
  if (kOpenSsl.Open(stored, &opened).size() != plain.size() + 6 || !opened) state.SkipWithError("no round trip");
  for (auto _ : state) {
    bool ok;
    benchmark::DoNotOptimize(kOpenSsl.Open(stored, &ok));
  }
}

#define PAIR(name)                                                      \
  BENCHMARK(Ours##name)->RangeMultiplier(2)->Range(8, 256);             \
  BENCHMARK(OpenSsl##name)->RangeMultiplier(2)->Range(8, 256);
PAIR(EncodeName)
PAIR(DecodeName)
PAIR(EncodeDatum)
PAIR(DecodeDatum)

// Keeps every run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark; a single run stands for itself.
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nCPU-time ratio ours/OpenSSL (below 1.00: ours faster)\n");
    double worst = 0, log_sum = 0;
    int pairs = 0;
    for (const auto& [name, ours] : times_) {
      if (name.rfind("Ours", 0) != 0) continue;
      auto other = times_.find("OpenSsl" + name.substr(4));
      if (other == times_.end()) continue;
      double ratio = ours / other->second;
      worst = std::max(worst, ratio);
      log_sum += std::log(ratio);
      ++pairs;
      std::printf("  %-22s %5.2f\n", name.substr(4).c_str(), ratio);
    }
    if (pairs == 0) return;
    std::printf("geometric mean %.2f, worst %.2f (target: at most 1.00)\n", std::exp(log_sum / pairs), worst);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
