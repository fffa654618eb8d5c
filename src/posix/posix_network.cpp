// The sockets of a POSIX system.
//
// Connect() hands the lookup and the connect to a thread of their own and returns at
// once. The thread shares one small state with the pending connection: the caller polls
// it, takes the connected socket from it, or abandons it. An abandoned thread is woken
// through an event descriptor when it waits for the connect; the lookup itself cannot be
// interrupted, so a thread abandoned during a slow lookup finishes it and then closes
// what it holds.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/network.h"

namespace qm {

namespace {

std::string ErrorText(int code) {
  return std::error_code(code, std::generic_category()).message();
}

ESocketError SocketError(int code, std::string_view what) {
  return ESocketError(code, std::string(what) + ": " + ErrorText(code) + ".");
}

class PosixConnection : public IConnection {
 public:
  explicit PosixConnection(int fd) : fd_(fd) {}
  ~PosixConnection() override { Close(); }

  long Receive(char* buffer, std::size_t size, int timeout_ms) override {
    CheckOpen();
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) throw SocketError(errno, "Receiving failed");
      if (!WaitFor(POLLIN, timeout_ms)) return kTimedOut;
    }
  }

  std::size_t Send(std::string_view data, int timeout_ms) override {
    CheckOpen();
    if (data.empty()) return 0;
    for (;;) {
      const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) throw SocketError(errno, "Sending failed");
      if (!WaitFor(POLLOUT, timeout_ms)) return 0;
    }
  }

  void Close() override {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

 private:
  void CheckOpen() const {
    if (fd_ < 0) throw ESocketError(EBADF, "The connection is closed.");
  }
  // False when the wait timed out; true when the socket is ready or has an error to
  // report (the next call then reports it).
  bool WaitFor(short events, int timeout_ms) {
    pollfd p{fd_, events, 0};
    for (;;) {
      const int r = ::poll(&p, 1, timeout_ms);
      if (r > 0) return true;
      if (r == 0) return false;
      if (errno != EINTR) throw SocketError(errno, "Waiting on the connection failed");
    }
  }

  int fd_;
};

struct ConnectState {
  ~ConnectState() {
    if (fd >= 0) ::close(fd);
    if (wake_fd >= 0) ::close(wake_fd);
  }
  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;
  bool abandoned = false;
  int fd = -1;  // the connected socket until taken
  int error_code = 0;
  std::string error;
  int wake_fd = -1;  // written once when the connect is abandoned
};

// Connects `fd` (non-blocking) to `address`; 0 or the error number. Gives up with
// ECANCELED when the wake descriptor is written.
int ConnectOne(int fd, const addrinfo& address, int wake_fd) {
  if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  pollfd polls[2] = {{fd, POLLOUT, 0}, {wake_fd, POLLIN, 0}};
  for (;;) {
    const int r = ::poll(polls, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return errno;
    if (polls[1].revents != 0) return ECANCELED;
    if (polls[0].revents != 0) break;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

void RunConnect(const std::shared_ptr<ConnectState>& state, const std::string& host, int port) {
  int fd = -1;
  int error_code = 0;
  std::string error;

  if (IsInvalidDomain(host)) {
    error = "Host not found: " + host + ".";
  } else {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
      if (lookup == EAI_SYSTEM) {
        error_code = errno;
        error = "Looking up " + host + " failed: " + ErrorText(error_code) + ".";
      } else {
        error = "Host not found: " + host + " (" + ::gai_strerror(lookup) + ").";
      }
    } else {
      error_code = ECONNREFUSED;
      for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        {
          const std::lock_guard lock(state->mutex);
          if (state->abandoned) break;
        }
        const int s =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
          error_code = errno;
          continue;
        }
        const int result = ConnectOne(s, *a, state->wake_fd);
        if (result == 0) {
          fd = s;
          break;
        }
        ::close(s);
        error_code = result;
        if (result == ECANCELED) break;
      }
      ::freeaddrinfo(found);
      if (fd < 0) {
        error = "Could not connect to " + host + ":" + service + ": " + ErrorText(error_code) + ".";
      } else {
        const int on = 1;
        (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      }
    }
  }

  const std::lock_guard lock(state->mutex);
  if (state->abandoned && fd >= 0) {
    ::close(fd);
    fd = -1;
  }
  state->fd = fd;
  state->error_code = fd >= 0 ? 0 : error_code;
  state->error = fd >= 0 ? std::string() : std::move(error);
  state->ended = true;
  state->ended_cv.notify_all();
}

class PosixPendingConnection : public IPendingConnection {
 public:
  explicit PosixPendingConnection(std::shared_ptr<ConnectState> state) : state_(std::move(state)) {}

  ~PosixPendingConnection() override {
    {
      const std::lock_guard lock(state_->mutex);
      state_->abandoned = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(state_->wake_fd, &one, sizeof one);
  }

  bool Wait(int timeout_ms) override {
    std::unique_lock lock(state_->mutex);
    if (timeout_ms < 0) {
      state_->ended_cv.wait(lock, [&] { return state_->ended; });
      return true;
    }
    return state_->ended_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                     [&] { return state_->ended; });
  }

  std::unique_ptr<IConnection> Take() override {
    const std::lock_guard lock(state_->mutex);
    if (!state_->ended) throw ESocketError(0, "The connection is still being made.");
    if (state_->fd < 0) throw ESocketError(state_->error_code, state_->error);
    auto connection = std::make_unique<PosixConnection>(state_->fd);
    state_->fd = -1;
    return connection;
  }

 private:
  std::shared_ptr<ConnectState> state_;
};

class PosixNetwork : public INetwork {
 public:
  std::unique_ptr<IPendingConnection> Connect(std::string_view host, int port) override {
    auto state = std::make_shared<ConnectState>();
    state->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->wake_fd < 0) throw SocketError(errno, "Starting the connect failed");
    try {
      std::thread(RunConnect, state, std::string(host), port).detach();
    } catch (const std::system_error& e) {
      throw ESocketError(e.code().value(), std::string("Starting the connect failed: ") + e.what());
    }
    return std::make_unique<PosixPendingConnection>(std::move(state));
  }
};

}  // namespace

INetwork& SystemNetwork() {
  static PosixNetwork network;
  return network;
}

}  // namespace qm
