// Registry speed, as the engine uses it: one thread, keys three levels below the catalogue
// root, each write or read opening and closing its key. Also regedit's export and import of
// 100,000 values, and one key filled with tens of thousands of numbered values or subkeys. Run
// from a release build:
//   build/release/bin/w98_registry_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "regedit_tool.h"
#include "temp_machine.h"
#include "w98/winreg.h"

namespace {

constexpr int kSections = 1000;  // file-key sections, as in the reference table
constexpr int kValuesPerSection = 12;

w98::testing::TempMachine& Machine() {
  static auto* machine = new w98::testing::TempMachine;
  return *machine;
}

struct Paths {
  std::vector<std::string> keys, names;
  Paths() {
    for (int s = 0; s < kSections; ++s)
      keys.push_back("Software\\Zemo\\Snapshot\\cref.tab\\SYSTEM" + std::to_string(s) +
                     ".INI|C://WINDOWS//|512|19981101|120000");
    for (int v = 0; v < kValuesPerSection; ++v)
      names.push_back("RefControlFile" + std::to_string(v));
  }
};

const Paths& P() {
  static const Paths paths;
  return paths;
}

void BM_WriteOpenSetClose(benchmark::State& state) {
  Machine();
  const Paths& p = P();
  const char text[] = "20261207.S01";
  size_t i = 0;
  for (auto _ : state) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, p.keys[(i / kValuesPerSection) % kSections].c_str(), 0,
                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, p.names[i % kValuesPerSection].c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
    ++i;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_WriteOpenSetClose)->MinTime(2.0)->UseRealTime();

void BM_ReadOpenQueryClose(benchmark::State& state) {
  Machine();
  const Paths& p = P();
  for (int s = 0; s < kSections; ++s) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, p.keys[s].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    for (int v = 0; v < kValuesPerSection; ++v) {
      const DWORD d = static_cast<DWORD>(v);
      RegSetValueExA(key, p.names[v].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
    }
    RegCloseKey(key);
  }
  size_t i = 0;
  char buf[64];
  for (auto _ : state) {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, p.keys[(i / kValuesPerSection) % kSections].c_str(), 0,
                  KEY_READ, &key);
    DWORD type = 0, size = sizeof buf;
    RegQueryValueExA(key, p.names[i % kValuesPerSection].c_str(), nullptr, &type,
                     reinterpret_cast<BYTE*>(buf), &size);
    benchmark::DoNotOptimize(buf);
    RegCloseKey(key);
    ++i;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ReadOpenQueryClose)->MinTime(2.0)->UseRealTime();

// 1,000 keys of 100 values each (texts, numbers and bytes).
void Fill100k() {
  for (int k = 0; k < 1000; ++k) {
    HKEY key = nullptr;
    const std::string path = "Software\\Big\\Key" + std::to_string(k);
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    for (int v = 0; v < 100; ++v) {
      const std::string name = "Value " + std::to_string(v);
      const std::string data = "C:\\WINDOWS\\SYSTEM\\FILE" + std::to_string(v) + ".DLL";
      if (v % 3 == 0) {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
      } else if (v % 3 == 1) {
        const DWORD d = static_cast<DWORD>(v * k);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
      } else {
        RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
      }
    }
    RegCloseKey(key);
  }
  RegFlushKey(HKEY_CURRENT_USER);
}

void BM_Export100kValues(benchmark::State& state) {
  Machine();
  Fill100k();
  std::string out, err;
  for (auto _ : state) {
    if (regedit::RunRegedit({"/E", "C:\\BIG.REG", "HKEY_CURRENT_USER\\Software\\Big"}, &out,
                            &err) != 0)
      state.SkipWithError(err.c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_Export100kValues)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_Import100kValues(benchmark::State& state) {
  Machine();
  Fill100k();
  std::string out, err;
  if (regedit::RunRegedit({"/E", "C:\\BIG.REG", "HKEY_CURRENT_USER\\Software\\Big"}, &out, &err) !=
      0)
    state.SkipWithError(err.c_str());
  for (auto _ : state) {
    // Each round starts from an empty tree, so every value is new.
    state.PauseTiming();
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Big");
    RegFlushKey(HKEY_CURRENT_USER);
    state.ResumeTiming();
    if (regedit::RunRegedit({"/S", "C:\\BIG.REG"}, &out, &err) != 0)
      state.SkipWithError(err.c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_Import100kValues)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// One key filled as a save fills a snapshot's file list: state.range(0) values "File0",
// "File1", ... written in that order through one open key, each landing between names written
// long before it ("File1234" between "File1233" and "File124"). Also as many subkeys, as the
// reference table gets one per stored file.
void BM_FillNumberedList(benchmark::State& state) {
  Machine();
  const int count = static_cast<int>(state.range(0));
  const bool subkeys = state.range(1) != 0;
  const char text[] = "SYSTEM.INI|C://WINDOWS//|512|19981101|120000";
  for (auto _ : state) {
    state.PauseTiming();
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\List");
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\List", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    state.ResumeTiming();
    for (int i = 0; i < count; ++i) {
      const std::string name = "File" + std::to_string(i);
      if (subkeys) {
        HKEY sub = nullptr;
        RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        RegCloseKey(sub);
      } else {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       sizeof text);
      }
    }
    state.PauseTiming();
    RegCloseKey(key);
    RegFlushKey(HKEY_CURRENT_USER);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_FillNumberedList)
    ->ArgsProduct({{10000, 40000}, {0, 1}})
    ->ArgNames({"entries", "subkeys"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
