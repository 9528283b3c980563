// Carries window messages between the processes of a machine.
//
// Every process with windows listens on a Unix-domain socket in the abstract namespace named
// after the machine's run folder and its process id, so that no socket file outlives a
// process. Frames are length-prefixed; a send waits for its reply frame. One background thread
// per process reads every connection (incoming requests and replies to this process's sends);
// requests are handed to the window's thread as sent items, and that thread writes the reply.
#ifndef W98_SRC_WINDOW_MESSENGER_H
#define W98_SRC_WINDOW_MESSENGER_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "w98/windef.h"

namespace w98::internal {

enum class FrameKind : std::uint32_t { kSend = 1, kPost = 2, kNotify = 3, kReply = 4 };

// A message as it crosses: lParam travels as a number unless `payload` carries what it points
// to (WM_COPYDATA's data, WM_SETTEXT's text, WM_GETTEXT's answer).
struct Frame {
  FrameKind kind = FrameKind::kSend;
  std::uint64_t id = 0;
  HWND hwnd = nullptr;
  UINT message = 0;
  std::uint32_t flags = 0;  // replies: kDelivered when a window procedure ran
  WPARAM wparam = 0;
  LPARAM lparam = 0;  // replies: the result
  std::string payload;
};
inline constexpr std::uint32_t kDelivered = 1;

// Answers one incoming send (any thread, once).
class Replier {
 public:
  virtual ~Replier() = default;
  virtual void Reply(LRESULT result, bool delivered, std::string payload = {}) = 0;
};

// Handles frames arriving for this process's windows, on the messenger thread: it must not
// block. `replier` is null for posts and notifications.
using IncomingHandler = std::function<void(Frame frame, std::shared_ptr<Replier> replier)>;

// Makes this process reachable by the other processes of the machine whose run folder is
// `run_folder`; `handler` receives what they send. False when the socket cannot be made.
bool ListenForMessages(const std::filesystem::path& run_folder, IncomingHandler handler);

// Outcome of a send to another process.
struct RemoteAnswer {
  bool reached = false;    // the process was reached and answered
  bool delivered = false;  // a window procedure ran
  LRESULT result = 0;
  std::string payload;
};

// Sends `frame` to process `pid` of the machine and waits for the answer; the calling thread
// keeps running messages sent to it meanwhile and stops waiting when it is terminated (the
// answer is then dropped). A deadline (nullopt: none) ends the wait too.
RemoteAnswer SendToProcess(
    const std::filesystem::path& run_folder, pid_t pid, Frame frame,
    std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
// Sends a post or a notification without waiting; false when the process cannot be reached.
bool PostToProcess(const std::filesystem::path& run_folder, pid_t pid, Frame frame);

}  // namespace w98::internal

#endif  // W98_SRC_WINDOW_MESSENGER_H
