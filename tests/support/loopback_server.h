// A small scripted HTTP server on 127.0.0.1 for the tests of the HTTP client and the
// update check. It accepts connections one after the other and runs one script per
// connection, in order; it stops by itself after the last script or when its time is up,
// and every wait in it is bounded by that time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qm::testing {

class LoopbackServer;

// One accepted connection, as a script sees it.
class ServerConnection {
 public:
  ServerConnection(LoopbackServer& server, int fd) : server_(server), fd_(fd) {}
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Reads one request head (up to and including the empty line) and records it; "" when
  // the client closed first or the time ran out.
  std::string ReadRequest();
  void Send(std::string_view bytes);
  // Sends `bytes` in pieces of `piece` bytes with a short pause after each, so that the
  // client sees them arrive in several reads.
  void SendSlowly(std::string_view bytes, std::size_t piece);
  void Close();
  // Waits for the client to close its side: true when it did before the time ran out.
  bool WaitForClientClose();

 private:
  LoopbackServer& server_;
  int fd_;
  std::string pending_;  // bytes read past the last request head
};

class LoopbackServer {
 public:
  using Script = std::function<void(ServerConnection&)>;

  explicit LoopbackServer(std::vector<Script> scripts,
                          std::chrono::milliseconds limit = std::chrono::seconds(20));
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:PORT"
  std::string Url() const;
  // The request heads received so far, in order.
  std::vector<std::string> Requests() const;
  int Connections() const { return connections_; }
  // What the scripts noted (e.g. that the client closed), in order.
  std::vector<std::string> Notes() const;
  void Note(std::string note);
  // Waits until every script has run (or the time is up).
  void Join();

  // For the connections: the time left, in ms (0 when it is up or the server stops).
  int TimeLeftMs() const;
  void Record(std::string request);

 private:
  void Run(std::vector<Script> scripts);

  int listen_fd_ = -1;
  int port_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::string> notes_;
  std::thread thread_;
};

}  // namespace qm::testing
