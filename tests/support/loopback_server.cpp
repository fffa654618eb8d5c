#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace qm::testing {

namespace {

// Waits for `events` on `fd` in short slices while the server has time; true when ready.
bool WaitFor(const LoopbackServer& server, int fd, short events) {
  for (;;) {
    const int left = server.TimeLeftMs();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, std::min(left, 50));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

}  // namespace

ServerConnection::~ServerConnection() {
  Close();
}

std::string ServerConnection::ReadRequest() {
  for (;;) {
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string request = pending_.substr(0, end + 4);
      pending_.erase(0, end + 4);
      server_.Record(request);
      return request;
    }
    if (fd_ < 0 || !WaitFor(server_, fd_, POLLIN)) return {};
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

void ServerConnection::Send(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    if (!WaitFor(server_, fd_, POLLOUT)) return;
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return;  // the client has gone
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void ServerConnection::SendSlowly(std::string_view bytes, std::size_t piece) {
  while (!bytes.empty()) {
    const std::size_t n = std::min(piece, bytes.size());
    Send(bytes.substr(0, n));
    bytes.remove_prefix(n);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void ServerConnection::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool ServerConnection::WaitForClientClose() {
  while (fd_ >= 0 && WaitFor(server_, fd_, POLLIN)) {
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
  }
  return false;
}

LoopbackServer::LoopbackServer(std::vector<Script> scripts, std::chrono::milliseconds limit)
    : deadline_(std::chrono::steady_clock::now() + limit) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 8) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("listening on 127.0.0.1 failed");
  }
  port_ = ntohs(address.sin_port);
  thread_ =
      std::thread([this, scripts = std::move(scripts)]() mutable { Run(std::move(scripts)); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  Join();
  ::close(listen_fd_);
}

void LoopbackServer::Join() {
  if (thread_.joinable()) thread_.join();
}

std::string LoopbackServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

int LoopbackServer::TimeLeftMs() const {
  if (stop_) return 0;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline_ - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void LoopbackServer::Record(std::string request) {
  const std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
}

std::vector<std::string> LoopbackServer::Requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackServer::Note(std::string note) {
  const std::lock_guard lock(mutex_);
  notes_.push_back(std::move(note));
}

std::vector<std::string> LoopbackServer::Notes() const {
  const std::lock_guard lock(mutex_);
  return notes_;
}

void LoopbackServer::Run(std::vector<Script> scripts) {
  for (auto& script : scripts) {
    if (!WaitFor(*this, listen_fd_, POLLIN)) return;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ++connections_;
    ServerConnection connection(*this, fd);
    script(connection);
  }
}

}  // namespace qm::testing
