// SendMessageA round trips: to a window of another thread of this process, and to a window of
// another process of the machine (w98_window_peer). Besides Google Benchmark's mean time per
// round trip, each run reports the median and the 99th percentile of single round trips.
//
//   build/release/bin/w98_messages_bench
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "peer_process.h"
#include "temp_machine.h"
#include "w98/w98.h"
#include "w98/windows.h"

namespace {

LRESULT CALLBACK Adder(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_USER + 1) return static_cast<LRESULT>(w) + l;
  if (msg == WM_COPYDATA) return reinterpret_cast<const COPYDATASTRUCT*>(l)->cbData;
  if (msg == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, w, l);
}

std::atomic<HWND> g_receiver{nullptr};

DWORD WINAPI ReceiverThread(LPVOID) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Adder;
  wc.lpszClassName = "BenchReceiver";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, "BenchReceiver", "receiver", 0, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  g_receiver = hwnd;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  DestroyWindow(hwnd);
  return 0;
}

// Times each round trip; reports the median and 99th percentile in microseconds.
void RoundTrips(benchmark::State& state, HWND hwnd, UINT msg, WPARAM w, LPARAM l,
                LRESULT expected) {
  std::vector<double> micros;
  micros.reserve(1 << 16);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const LRESULT result = SendMessageA(hwnd, msg, w, l);
    const auto end = std::chrono::steady_clock::now();
    if (result != expected) {
      state.SkipWithError("wrong answer");
      return;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_SendMessageCrossThread(benchmark::State& state) {
  HANDLE thread = CreateThread(nullptr, 0, ReceiverThread, nullptr, 0, nullptr);
  while (g_receiver.load() == nullptr) Sleep(1);
  RoundTrips(state, g_receiver, WM_USER + 1, 40, 2, 42);
  PostMessageA(g_receiver, WM_CLOSE, 0, 0);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  g_receiver = nullptr;
}
BENCHMARK(BM_SendMessageCrossThread)->UseRealTime();

void BM_SendMessageCrossProcess(benchmark::State& state) {
  w98::testing::TempMachine machine;
  w98::testing::PeerProcess peer("w98_window_peer", {"serve", "BenchPeer", "Peer"});
  if (peer.ReadLine() != "ready") {
    state.SkipWithError("the peer did not start");
    return;
  }
  HWND hwnd = FindWindowA("BenchPeer", nullptr);
  // The peer prints a line for each WM_COPYDATA: keep its output pipe drained.
  std::thread drain([&peer] {
    while (peer.Fill(1000)) {
    }
  });
  if (state.range(0) == 0) {
    RoundTrips(state, hwnd, WM_USER + 1, 40, 2, 42);
  } else {
    std::vector<char> data(static_cast<size_t>(state.range(0)), 'x');
    COPYDATASTRUCT copy{1, static_cast<DWORD>(data.size()), data.data()};
    RoundTrips(state, hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
               static_cast<LRESULT>(data.size()));
  }
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  drain.join();
}
// 0: a plain message; otherwise WM_COPYDATA with that many bytes (the peer prints a line).
BENCHMARK(BM_SendMessageCrossProcess)->Arg(0)->Arg(4096)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
