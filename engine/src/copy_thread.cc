#include "copy_thread.h"

#include <chrono>
#include <utility>

namespace snapshot {
namespace {

// How often a waiting thread also asks w98 whether the copier has ended: a copier stopped
// before its routine ran never marks itself ended.
constexpr auto kEndCheck = std::chrono::milliseconds(20);

// A save that waits for results is woken when this many are ready (or when the copier runs out
// of copies), not at every copy: it then settles them in one go instead of trading a wake-up
// with the copier per file.
constexpr size_t kWakeBatch = CopyThread::kDepth / 4;

}  // namespace

DWORD CopyThread::MakeCopy(const Job& job) {
  if (!CopyFileA(job.source.c_str(), job.target.c_str(), TRUE)) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
  }
  return ERROR_SUCCESS;
}

DWORD WINAPI CopyThread::Run(LPVOID parameter) {
  State& state = *static_cast<State*>(parameter);
  // Marks the copier ended when the routine returns or unwinds (a stopped thread unwinds).
  struct EndMark {
    State& state;
    ~EndMark() {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.ended = true;
      state.changed.notify_all();
    }
  } mark{state};
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(state.mutex);
      state.copier_waits = true;
      state.changed.wait(lock, [&] { return state.stop || !state.jobs.empty(); });
      state.copier_waits = false;
      if (state.stop) return 0;
      job = std::move(state.jobs.front());
      state.jobs.pop_front();
    }
    const DWORD result = MakeCopy(job);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.results.push_back(result);
    if (state.owner_waits && (state.results.size() >= kWakeBatch || state.jobs.empty()))
      state.changed.notify_all();
  }
}

void CopyThread::Start(const Control& control) {
  thread_ = CreateThread(nullptr, 0, Run, &state_, CREATE_SUSPENDED, nullptr);
  if (thread_ == nullptr) return;
  control_ = control;
  if (control_.attach) control_.attach(thread_);
  ResumeThread(thread_);
}

bool CopyThread::Full() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.outstanding >= kDepth;
}

bool CopyThread::Ready() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return !state_.results.empty();
}

void CopyThread::Push(Job job) {
  if (thread_ == nullptr) {
    const DWORD result = MakeCopy(job);
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.results.push_back(result);
    ++state_.outstanding;
    return;
  }
  std::lock_guard<std::mutex> lock(state_.mutex);
  state_.jobs.push_back(std::move(job));
  ++state_.outstanding;
  if (state_.copier_waits) state_.changed.notify_all();
}

bool CopyThread::WaitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done) {
  while (!done()) {
    if (state_.ended) return false;
    state_.owner_waits = true;
    const bool now_done = state_.changed.wait_for(lock, kEndCheck, done);
    state_.owner_waits = false;
    if (now_done) break;
    if (thread_ != nullptr) {
      DWORD code = 0;
      if (GetExitCodeThread(thread_, &code) && code != STILL_ACTIVE) state_.ended = true;
    }
  }
  return true;
}

DWORD CopyThread::Take() {
  std::unique_lock<std::mutex> lock(state_.mutex);
  if (WaitUntil(lock, [&] { return !state_.results.empty(); })) {
    const DWORD result = state_.results.front();
    state_.results.pop_front();
    --state_.outstanding;
    return result;
  }
  lock.unlock();
  Sleep(0);
  return ERROR_OPERATION_ABORTED;
}

CopyThread::~CopyThread() {
  if (thread_ == nullptr) return;
  {
    std::unique_lock<std::mutex> lock(state_.mutex);
    state_.stop = true;
    state_.changed.notify_all();
    WaitUntil(lock, [&] { return state_.ended; });
  }
  if (control_.detach) control_.detach();
  CloseHandle(thread_);
}

}  // namespace snapshot
