// The store's codec against the same encoding built on OpenSSL, names of 8 to 256 bytes as every key path
// and value name is encoded. Prints each size's CPU-time ratio ours / OpenSSL (the median of the
// repetitions asked for: scripts/bench-protreg.sh asks for 9, randomly interleaved) after the table.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "protreg/codec/value_codec.h"
#include "tests/unit/protreg_openssl_reference.h"

namespace {

const twg::StoreKey kKey = twg::MakeStoreKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
const twg::ValueCodec kOurs(kKey);
const twg::reference::OpenSslEncoding kOpenSsl(kKey);

void OursEncodeName(benchmark::State& state) {
  std::string plain(static_cast<std::size_t>(state.range(0)), 'n'), out;
  for (auto _ : state) benchmark::DoNotOptimize(kOurs.EncodeName(plain, &out));
}
BENCHMARK(OursEncodeName)->RangeMultiplier(2)->Range(8, 256);

void OpenSslEncodeName(benchmark::State& state) {
  std::string plain(static_cast<std::size_t>(state.range(0)), 'n');
  for (auto _ : state) benchmark::DoNotOptimize(kOpenSsl.Name(plain));
}
BENCHMARK(OpenSslEncodeName)->RangeMultiplier(2)->Range(8, 256);

// Keeps every run's time per iteration (with repetitions, the median's) and prints the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      bool stands_for_it = run.run_type != Run::RT_Aggregate || run.aggregate_name == "median";
      if (stands_for_it) times_[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nCPU-time ratio ours/OpenSSL (below 1.00: ours faster)\n");
    double worst = 0, log_sum = 0;
    int pairs = 0;
    for (const auto& [name, ours] : times_) {
      auto other = times_.find("OpenSsl" + name.substr(4));
      if (name.rfind("Ours", 0) != 0 || other == times_.end()) continue;
      double ratio = ours / other->second;
      worst = std::max(worst, ratio);
      log_sum += std::log(ratio);
      ++pairs;
      std::printf("  %-22s %5.2f\n", name.substr(4).c_str(), ratio);
    }
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
