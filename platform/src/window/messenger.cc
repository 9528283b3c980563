#include "window/messenger.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "window/answer.h"

namespace w98::internal {
namespace {

struct WireHeader {
  std::uint32_t size;  // payload bytes after the header
  std::uint32_t kind;
  std::uint64_t id;
  std::uint64_t hwnd;
  std::uint32_t message;
  std::uint32_t flags;
  std::uint64_t wparam;
  std::int64_t lparam;
};
constexpr std::uint32_t kMaxPayload = 64u << 20;  // a frame larger than this is a broken peer

std::string Encode(const Frame& f) {
  WireHeader h{static_cast<std::uint32_t>(f.payload.size()),
               static_cast<std::uint32_t>(f.kind),
               f.id,
               reinterpret_cast<std::uint64_t>(f.hwnd),
               f.message,
               f.flags,
               static_cast<std::uint64_t>(f.wparam),
               static_cast<std::int64_t>(f.lparam)};
  std::string bytes(reinterpret_cast<const char*>(&h), sizeof h);
  bytes += f.payload;
  return bytes;
}

// The abstract socket address of process `pid` of the machine whose run folder is given.
sockaddr_un AddressOf(const std::filesystem::path& run_folder, pid_t pid, socklen_t* length) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : run_folder.string()) hash = (hash ^ c) * 1099511628211ull;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  char name[80];
  const int n =
      std::snprintf(name, sizeof name, "w98-%016" PRIx64 "-%d", hash, static_cast<int>(pid));
  std::memcpy(address.sun_path + 1, name, static_cast<size_t>(n));  // sun_path[0] = 0: abstract
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(n));
  return address;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

struct Connection : std::enable_shared_from_this<Connection> {
  int fd = -1;
  std::mutex write_mutex;
  std::string input;  // bytes read and not yet framed (messenger thread only)
  // Sends of this process waiting for their replies (outgoing connections).
  std::mutex pending_mutex;
  std::map<std::uint64_t, std::shared_ptr<Answer>> pending;
  bool broken = false;
  std::string key;  // outgoing: the peer's entry in the connection cache

  ~Connection() {
    if (fd >= 0) ::close(fd);
  }
  bool Write(const Frame& frame) {
    std::lock_guard<std::mutex> lock(write_mutex);
    return WriteAll(fd, Encode(frame));
  }
  void FailPending() {
    std::map<std::uint64_t, std::shared_ptr<Answer>> failed;
    {
      std::lock_guard<std::mutex> lock(pending_mutex);
      broken = true;
      failed.swap(pending);
    }
    for (auto& [id, answer] : failed) answer->Set(0, false);
  }
};

class ConnectionReplier final : public Replier {
 public:
  ConnectionReplier(std::weak_ptr<Connection> connection, std::uint64_t id, HWND hwnd, UINT message)
      : connection_(std::move(connection)), id_(id), hwnd_(hwnd), message_(message) {}
  void Reply(LRESULT result, bool delivered, std::string payload) override {
    auto connection = connection_.lock();
    if (!connection) return;  // the sender has gone
    Frame reply;
    reply.kind = FrameKind::kReply;
    reply.id = id_;
    reply.hwnd = hwnd_;
    reply.message = message_;
    reply.flags = delivered ? kDelivered : 0;
    reply.lparam = result;
    reply.payload = std::move(payload);
    connection->Write(reply);
  }

 private:
  std::weak_ptr<Connection> connection_;
  std::uint64_t id_;
  HWND hwnd_;
  UINT message_;
};

// The process's one messenger: its listening socket, its connections, and the thread that
// reads them all.
class Messenger {
 public:
  static Messenger& Get() {
    static Messenger* messenger = new Messenger;  // lives until the process ends
    return *messenger;
  }

  bool Listen(const std::filesystem::path& run_folder, IncomingHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
    if (listen_fd_ >= 0 && listen_folder_ == run_folder) return true;
    if (listen_fd_ >= 0) {
      ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, listen_fd_, nullptr);
      ::close(listen_fd_);
      listen_fd_ = -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    socklen_t length;
    sockaddr_un address = AddressOf(run_folder, ::getpid(), &length);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 64) != 0) {
      ::close(fd);
      return false;
    }
    listen_fd_ = fd;
    listen_folder_ = run_folder;
    Watch(fd);
    return true;
  }

  std::shared_ptr<Connection> ConnectTo(const std::filesystem::path& run_folder, pid_t pid) {
    const std::string key = run_folder.string() + '\0' + std::to_string(pid);
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = outgoing_.find(key); it != outgoing_.end()) {
      std::lock_guard<std::mutex> pending_lock(it->second->pending_mutex);
      if (!it->second->broken) return it->second;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    socklen_t length;
    sockaddr_un address = AddressOf(run_folder, pid, &length);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
      ::close(fd);
      return nullptr;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->key = key;
    outgoing_[key] = connection;
    connections_[fd] = connection;
    Watch(fd);
    return connection;
  }

  std::uint64_t NextId() { return next_id_.fetch_add(1) + 1; }

 private:
  Messenger() {
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    std::thread([this] { Run(); }).detach();
  }

  void Watch(int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event);
  }

  void Run() {
    epoll_event events[32];
    for (;;) {
      const int n = ::epoll_wait(epoll_fd_, events, 32, -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        return;
      }
      for (int i = 0; i < n; ++i) Ready(events[i].data.fd);
    }
  }

  void Ready(int fd) {
    std::shared_ptr<Connection> connection;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (fd == listen_fd_) {
        const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0) {
          auto incoming = std::make_shared<Connection>();
          incoming->fd = accepted;
          connections_[accepted] = incoming;
          Watch(accepted);
        }
        return;
      }
      auto it = connections_.find(fd);
      if (it == connections_.end()) return;
      connection = it->second;
    }
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      Drop(connection);
      return;
    }
    connection->input.append(buffer, static_cast<size_t>(n));
    while (connection->input.size() >= sizeof(WireHeader)) {
      WireHeader h;
      std::memcpy(&h, connection->input.data(), sizeof h);
      if (h.size > kMaxPayload) {
        Drop(connection);
        return;
      }
      if (connection->input.size() < sizeof h + h.size) break;
      Frame frame;
      frame.kind = static_cast<FrameKind>(h.kind);
      frame.id = h.id;
      frame.hwnd = reinterpret_cast<HWND>(h.hwnd);
      frame.message = h.message;
      frame.flags = h.flags;
      frame.wparam = static_cast<WPARAM>(h.wparam);
      frame.lparam = static_cast<LPARAM>(h.lparam);
      frame.payload = connection->input.substr(sizeof h, h.size);
      connection->input.erase(0, sizeof h + h.size);
      Handle(connection, std::move(frame));
    }
  }

  void Handle(const std::shared_ptr<Connection>& connection, Frame frame) {
    if (frame.kind == FrameKind::kReply) {
      std::shared_ptr<Answer> answer;
      {
        std::lock_guard<std::mutex> lock(connection->pending_mutex);
        auto it = connection->pending.find(frame.id);
        if (it == connection->pending.end()) return;  // the sender stopped waiting
        answer = std::move(it->second);
        connection->pending.erase(it);
      }
      answer->Set(frame.lparam, (frame.flags & kDelivered) != 0, std::move(frame.payload));
      return;
    }
    IncomingHandler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      handler = handler_;
    }
    std::shared_ptr<Replier> replier;
    if (frame.kind == FrameKind::kSend)
      replier =
          std::make_shared<ConnectionReplier>(connection, frame.id, frame.hwnd, frame.message);
    if (handler) {
      handler(std::move(frame), replier);
    } else if (replier) {
      replier->Reply(0, false);
    }
  }

  void Drop(const std::shared_ptr<Connection>& connection) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, connection->fd, nullptr);
      connections_.erase(connection->fd);
      if (!connection->key.empty()) {
        auto it = outgoing_.find(connection->key);
        if (it != outgoing_.end() && it->second == connection) outgoing_.erase(it);
      }
    }
    connection->FailPending();
  }

  std::mutex mutex_;
  int epoll_fd_ = -1;
  int listen_fd_ = -1;
  std::filesystem::path listen_folder_;
  IncomingHandler handler_;
  std::unordered_map<int, std::shared_ptr<Connection>> connections_;
  std::unordered_map<std::string, std::shared_ptr<Connection>> outgoing_;
  std::atomic<std::uint64_t> next_id_{0};
};

}  // namespace

bool ListenForMessages(const std::filesystem::path& run_folder, IncomingHandler handler) {
  return Messenger::Get().Listen(run_folder, std::move(handler));
}

RemoteAnswer SendToProcess(const std::filesystem::path& run_folder, pid_t pid, Frame frame,
                           std::optional<std::chrono::steady_clock::time_point> deadline) {
  RemoteAnswer outcome;
  Messenger& messenger = Messenger::Get();
  auto connection = messenger.ConnectTo(run_folder, pid);
  if (!connection) return outcome;
  frame.kind = FrameKind::kSend;
  frame.id = messenger.NextId();
  auto answer = std::make_shared<Answer>();
  {
    std::lock_guard<std::mutex> lock(connection->pending_mutex);
    if (connection->broken) return outcome;
    connection->pending[frame.id] = answer;
  }
  const std::uint64_t id = frame.id;
  auto forget = [&] {
    std::lock_guard<std::mutex> lock(connection->pending_mutex);
    connection->pending.erase(id);
    return true;  // the data was copied out: nothing of the sender's is used after this
  };
  if (!connection->Write(frame)) {
    forget();
    return outcome;
  }
  if (!answer->Await(forget, deadline)) {
    forget();
    return outcome;
  }
  // A broken connection answers with "not delivered" and no reply frame.
  outcome.reached = answer->delivered() || !connection->broken;
  outcome.delivered = answer->delivered();
  outcome.result = answer->result();
  outcome.payload = std::move(answer->payload());
  return outcome;
}

bool PostToProcess(const std::filesystem::path& run_folder, pid_t pid, Frame frame) {
  auto connection = Messenger::Get().ConnectTo(run_folder, pid);
  return connection && connection->Write(frame);
}

}  // namespace w98::internal
