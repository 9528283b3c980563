#include "window/answer.h"

#include "w98/winbase.h"
#include "window/message_queue.h"

namespace w98::internal {

void Answer::Set(LRESULT result, bool delivered, std::string payload) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (done_) return;
  done_ = true;
  result_ = result;
  delivered_ = delivered;
  payload_ = std::move(payload);
  waiters_.WakeAll();
  done_cv_.notify_all();
}

bool Answer::Await(const std::function<bool()>& cancel, const Deadline& deadline) {
  ThreadState& self = ThreadState::Current();
  const auto own_queue = MessageQueue::CurrentIfExists();
  for (;;) {
    if (own_queue) own_queue->DispatchSent();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (done_) return true;
      if (deadline && std::chrono::steady_clock::now() >= *deadline) return false;
      waiters_.Add(&self);
    }
    const ParkResult parked = self.Park(deadline);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waiters_.Remove(&self);
    }
    if (parked != ParkResult::kTerminated) continue;
    if (!cancel()) {
      // The receiver is running the message. The dying thread takes no more sent messages (so
      // a receiver that sends back is answered at once instead of waiting for it), and waits
      // until the receiver is done with whatever the message points to.
      if (own_queue) own_queue->Close();
      std::unique_lock<std::mutex> lock(mutex_);
      done_cv_.wait(lock, [this] { return done_; });
    }
    self.ThrowIfTerminated();
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }
}

}  // namespace w98::internal
