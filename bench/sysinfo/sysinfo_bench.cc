// Cost of the machine clock, local-time conversions and profile reads and writes, on a fresh
// machine in a zone with daylight saving. Run from a release build:
//   build/release/bin/w98_sysinfo_bench
#include <benchmark/benchmark.h>

#include <string>

#include "core/machine.h"
#include "temp_machine.h"
#include "w98/time.h"
#include "w98/windows.h"

namespace {

w98::testing::TempMachine& Machine() {
  static w98::testing::TempMachine machine;
  static const bool zoned =
      w98::internal::Machine::Current()->WriteSetting("clock", "timezone", "Europe/Berlin");
  (void)zoned;
  return machine;
}

// The clock re-reads machine.ini only when it changed: this is the steady state.
void BM_GetLocalTime(benchmark::State& state) {
  Machine();
  SYSTEMTIME st{};
  for (auto _ : state) {
    GetLocalTime(&st);
    benchmark::DoNotOptimize(st);
  }
}
BENCHMARK(BM_GetLocalTime);

void BM_FileTimeToLocalFileTime(benchmark::State& state) {
  Machine();
  FILETIME utc{0x12345678, 0x01C0A000}, local{};
  for (auto _ : state) {
    FileTimeToLocalFileTime(&utc, &local);
    benchmark::DoNotOptimize(local);
  }
}
BENCHMARK(BM_FileTimeToLocalFileTime);

void BM_LocalTime64AndMkTime64(benchmark::State& state) {
  Machine();
  __time64_t t = 1700000000;
  for (auto _ : state) {
    tm local{};
    _localtime64_s(&local, &t);
    local.tm_isdst = -1;
    benchmark::DoNotOptimize(_mktime64(&local));
    t += 3607;
  }
}
BENCHMARK(BM_LocalTime64AndMkTime64);

void BM_GetPrivateProfileString(benchmark::State& state) {
  Machine();
  for (int k = 0; k < 100; ++k)
    WritePrivateProfileStringA("snapshot", ("key" + std::to_string(k)).c_str(), "value",
                               "BENCH.INI");
  char buffer[64];
  for (auto _ : state)
    benchmark::DoNotOptimize(
        GetPrivateProfileStringA("snapshot", "key99", "", buffer, sizeof buffer, "BENCH.INI"));
}
BENCHMARK(BM_GetPrivateProfileString);

void BM_WritePrivateProfileString(benchmark::State& state) {
  Machine();
  int n = 0;
  for (auto _ : state)
    WritePrivateProfileStringA("snapshot", "counter", std::to_string(n++).c_str(), "BENCH.INI");
}
BENCHMARK(BM_WritePrivateProfileString);

}  // namespace

BENCHMARK_MAIN();
