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
  Copier& copier = *static_cast<Copier*>(parameter);
  State& state = *copier.state;
  // Marks the copier ended when the routine returns or unwinds (a stopped thread unwinds).
  struct EndMark {
    Copier& copier;
    ~EndMark() {
      std::lock_guard<std::mutex> lock(copier.state->mutex);
      if (!copier.ended) {
        copier.ended = true;
        ++copier.state->ended;
      }
      copier.state->changed.notify_all();
    }
  } mark{copier};
  for (;;) {
    std::pair<std::uint64_t, Job> job;
    {
      std::unique_lock<std::mutex> lock(state.mutex);
      ++state.copiers_waiting;
      state.changed.wait(lock, [&] { return state.stop || !state.jobs.empty(); });
      --state.copiers_waiting;
      if (state.stop) return 0;
      job = std::move(state.jobs.front());
      state.jobs.pop_front();
    }
    const DWORD result = MakeCopy(job.second);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.results[static_cast<size_t>(job.first - state.first)] = result;
    ++state.made_unseen;
    if (state.owner_waits && state.results.front() &&
        (state.made_unseen >= kWakeBatch || state.jobs.empty())) {
      state.made_unseen = 0;
      state.changed.notify_all();
    }
  }
}

void CopyThread::Start(const Control& control) {
  control_ = control;
  for (Copier& copier : copiers_) {
    copier.state = &state_;
    copier.thread = CreateThread(nullptr, 0, Run, &copier, CREATE_SUSPENDED, nullptr);
    if (copier.thread == nullptr) break;
    if (control_.attach) control_.attach(copier.thread);
    ++started_;
  }
  for (size_t i = 0; i < started_; ++i) ResumeThread(copiers_[i].thread);
}

bool CopyThread::Full() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.results.size() >= kDepth;
}

bool CopyThread::Ready() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return !state_.results.empty() && state_.results.front().has_value();
}

void CopyThread::Push(Job job) {
  if (started_ == 0) {
    const DWORD result = MakeCopy(job);
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.results.emplace_back(result);
    return;
  }
  std::lock_guard<std::mutex> lock(state_.mutex);
  state_.jobs.emplace_back(state_.first + state_.results.size(), std::move(job));
  state_.results.emplace_back();
  if (state_.copiers_waiting > 0) state_.changed.notify_all();
}

void CopyThread::NoteEndedCopiers() {
  for (size_t i = 0; i < started_; ++i) {
    Copier& copier = copiers_[i];
    DWORD code = 0;
    if (!copier.ended && GetExitCodeThread(copier.thread, &code) && code != STILL_ACTIVE) {
      copier.ended = true;
      ++state_.ended;
    }
  }
}

bool CopyThread::WaitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                           bool until_all_ended) {
  while (!done()) {
    if (!until_all_ended && state_.ended > 0) return false;
    state_.owner_waits = true;
    const bool now_done = state_.changed.wait_for(lock, kEndCheck, done);
    state_.owner_waits = false;
    if (now_done) break;
    NoteEndedCopiers();
  }
  return true;
}

DWORD CopyThread::Take() {
  std::unique_lock<std::mutex> lock(state_.mutex);
  if (WaitUntil(lock, [&] { return !state_.results.empty() && state_.results.front(); })) {
    const DWORD result = *state_.results.front();
    state_.results.pop_front();
    ++state_.first;
    return result;
  }
  lock.unlock();
  Sleep(0);
  return ERROR_OPERATION_ABORTED;
}

CopyThread::~CopyThread() {
  if (started_ == 0) return;
  {
    std::unique_lock<std::mutex> lock(state_.mutex);
    state_.stop = true;
    state_.changed.notify_all();
    WaitUntil(
        lock, [&] { return state_.ended == started_; }, /*until_all_ended=*/true);
  }
  if (control_.detach) control_.detach();
  for (size_t i = 0; i < started_; ++i) CloseHandle(copiers_[i].thread);
}

}  // namespace snapshot
