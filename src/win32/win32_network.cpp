// The sockets of Windows (Winsock 2).
//
// Connect() hands the lookup and the connect to a thread of their own and returns at
// once. The thread shares one small state with the pending connection: the caller polls
// it, takes the connected socket from it, or abandons it. An abandoned thread waiting for
// the connect is woken by an event the pending connection sets; the lookup itself cannot
// be interrupted, so a thread abandoned during a slow lookup finishes it and then closes
// what it holds.
#include "win32/windows_api.h"  // ahead of the socket headers

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/network.h"
#include "win32/wide_text.h"

namespace qm {

namespace {

// The system's description of a Winsock code, without its final full stop.
std::string ErrorText(int code) {
  char buffer[512];
  DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                        buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(code);
  return std::string(buffer, length);
}

ESocketError SocketError(int code, std::string_view what) {
  return ESocketError(code, std::string(what) + ": " + ErrorText(code) + ".");
}

class Win32Connection : public IConnection {
 public:
  explicit Win32Connection(SOCKET socket) : socket_(socket) {}
  ~Win32Connection() override { Close(); }

  long Receive(char* buffer, std::size_t size, int timeout_ms) override {
    CheckOpen();
    const int wanted = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    for (;;) {
      const int n = ::recv(socket_, buffer, wanted, 0);
      if (n != SOCKET_ERROR) return n;
      const int error = ::WSAGetLastError();
      if (error != WSAEWOULDBLOCK) throw SocketError(error, "Receiving failed");
      if (!WaitFor(false, timeout_ms)) return kTimedOut;
    }
  }

  std::size_t Send(std::string_view data, int timeout_ms) override {
    CheckOpen();
    if (data.empty()) return 0;
    const int wanted = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
    for (;;) {
      const int n = ::send(socket_, data.data(), wanted, 0);
      if (n != SOCKET_ERROR) return static_cast<std::size_t>(n);
      const int error = ::WSAGetLastError();
      if (error != WSAEWOULDBLOCK) throw SocketError(error, "Sending failed");
      if (!WaitFor(true, timeout_ms)) return 0;
    }
  }

  void Close() override {
    if (socket_ != INVALID_SOCKET) {
      ::closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }

 private:
  void CheckOpen() const {
    if (socket_ == INVALID_SOCKET) throw ESocketError(WSAENOTSOCK, "The connection is closed.");
  }
  // False when the wait timed out; true when the socket is ready or has an error to
  // report (the next call then reports it).
  bool WaitFor(bool writing, int timeout_ms) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket_, &ready);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    const int r = ::select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, nullptr,
                           timeout_ms < 0 ? nullptr : &limit);
    if (r == SOCKET_ERROR)
      throw SocketError(::WSAGetLastError(), "Waiting on the connection failed");
    return r > 0;
  }

  SOCKET socket_;
};

struct ConnectState {
  ConnectState() : cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~ConnectState() {
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    if (cancel != nullptr) ::CloseHandle(cancel);
  }
  ConnectState(const ConnectState&) = delete;
  ConnectState& operator=(const ConnectState&) = delete;

  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;
  bool abandoned = false;
  SOCKET socket = INVALID_SOCKET;  // the connected socket until taken
  int error_code = 0;
  std::string error;
  HANDLE cancel;  // set once when the connect is abandoned
};

// Connects `socket` to `address`, leaving it non-blocking: 0 or the Winsock code. Gives
// up with WSAECANCELLED when `cancel` is set.
int ConnectOne(SOCKET socket, const addrinfo& address, HANDLE cancel) {
  const WSAEVENT connected = ::WSACreateEvent();
  if (connected == WSA_INVALID_EVENT) return ::WSAGetLastError();
  int result = 0;
  // The event's selection makes the socket non-blocking.
  if (::WSAEventSelect(socket, connected, FD_CONNECT) != 0) {
    result = ::WSAGetLastError();
  } else if (::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    result = ::WSAGetLastError();
    if (result == WSAEWOULDBLOCK) {
      const WSAEVENT events[2] = {connected, cancel};
      const DWORD which = ::WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
      WSANETWORKEVENTS happened{};
      if (which == WSA_WAIT_EVENT_0 + 1) {
        result = WSAECANCELLED;
      } else if (which != WSA_WAIT_EVENT_0 ||
                 ::WSAEnumNetworkEvents(socket, connected, &happened) != 0) {
        result = ::WSAGetLastError();
      } else {
        result = (happened.lNetworkEvents & FD_CONNECT) != 0 ? happened.iErrorCode[FD_CONNECT_BIT]
                                                             : WSAEINVAL;
      }
    }
  }
  ::WSAEventSelect(socket, nullptr, 0);
  ::WSACloseEvent(connected);
  u_long non_blocking = 1;
  if (result == 0 && ::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) {
    result = ::WSAGetLastError();
  }
  return result;
}

void RunConnect(const std::shared_ptr<ConnectState>& state, const std::string& host, int port) {
  SOCKET connected = INVALID_SOCKET;
  int error_code = 0;
  std::string error;
  const std::string service = std::to_string(port);

  if (IsInvalidDomain(host)) {
    error = "Host not found: " + host + ".";
  } else {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
      // A name that does not exist has no error code: nothing failed but the name.
      if (lookup == WSAHOST_NOT_FOUND || lookup == WSANO_DATA) {
        error = "Host not found: " + host + " (" + ErrorText(lookup) + ").";
      } else {
        error_code = lookup;
        error = "Looking up " + host + " failed: " + ErrorText(lookup) + ".";
      }
    } else {
      error_code = WSAECONNREFUSED;
      for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        {
          const std::lock_guard lock(state->mutex);
          if (state->abandoned) break;
        }
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
          error_code = ::WSAGetLastError();
          continue;
        }
        // Programs the shell starts get nothing of ours.
        ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        const int result = ConnectOne(s, *a, state->cancel);
        if (result == 0) {
          connected = s;
          break;
        }
        ::closesocket(s);
        error_code = result;
        if (result == WSAECANCELLED) break;
      }
      ::freeaddrinfo(found);
      if (connected == INVALID_SOCKET) {
        error = "Could not connect to " + host + ":" + service + ": " + ErrorText(error_code) + ".";
      } else {
        const BOOL on = TRUE;
        ::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on);
      }
    }
  }

  const std::lock_guard lock(state->mutex);
  if (state->abandoned && connected != INVALID_SOCKET) {
    ::closesocket(connected);
    connected = INVALID_SOCKET;
  }
  state->socket = connected;
  state->error_code = connected != INVALID_SOCKET ? 0 : error_code;
  state->error = connected != INVALID_SOCKET ? std::string() : std::move(error);
  state->ended = true;
  state->ended_cv.notify_all();
}

class Win32PendingConnection : public IPendingConnection {
 public:
  explicit Win32PendingConnection(std::shared_ptr<ConnectState> state) : state_(std::move(state)) {}

  ~Win32PendingConnection() override {
    {
      const std::lock_guard lock(state_->mutex);
      state_->abandoned = true;
    }
    ::SetEvent(state_->cancel);
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
    if (state_->socket == INVALID_SOCKET) throw ESocketError(state_->error_code, state_->error);
    auto connection = std::make_unique<Win32Connection>(state_->socket);
    state_->socket = INVALID_SOCKET;
    return connection;
  }

 private:
  std::shared_ptr<ConnectState> state_;
};

class Win32Network : public INetwork {
 public:
  Win32Network() {
    WSADATA data;
    startup_error_ = ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  // Winsock stays started until the process ends: connections may outlive this object
  // in static destruction.

  std::unique_ptr<IPendingConnection> Connect(std::string_view host, int port) override {
    if (startup_error_ != 0) throw SocketError(startup_error_, "Starting Winsock failed");
    auto state = std::make_shared<ConnectState>();
    if (state->cancel == nullptr) {
      throw SocketError(static_cast<int>(::GetLastError()), "Starting the connect failed");
    }
    try {
      std::thread(RunConnect, state, std::string(host), port).detach();
    } catch (const std::system_error& e) {
      throw ESocketError(e.code().value(), std::string("Starting the connect failed: ") + e.what());
    }
    return std::make_unique<Win32PendingConnection>(std::move(state));
  }

 private:
  int startup_error_;
};

}  // namespace

INetwork& SystemNetwork() {
  static Win32Network network;
  return network;
}

}  // namespace qm
