// Sockets: TCP connections for the HTTP client. The lookup of the host name and the
// connect run in the background; the caller polls for their end, so that the GUI thread
// can keep its message queue moving meanwhile. Everything else runs on the caller's
// thread, with waits bounded by the timeout the caller gives.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace qm {

// Names below the top-level domain "invalid" never resolve (RFC 6761, 6.4): the network
// adapters answer them at once, without asking the resolver. Letters in any case, with
// or without the final ".".
bool IsInvalidDomain(std::string_view host);

// A failure of the lookup, the connect, or a send or receive. `Code` is the system's
// error number, 0 when there is none (a host that does not exist).
class ESocketError : public Exception {
 public:
  ESocketError(int code, const std::string& message) : Exception(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

class IConnection {
 public:
  static constexpr long kTimedOut = -1;

  virtual ~IConnection() = default;  // closes the connection

  // Receives up to `size` bytes, waiting at most `timeout_ms` (-1: no limit) for some to
  // arrive: the number received, 0 once the peer has closed its side, or kTimedOut.
  virtual long Receive(char* buffer, std::size_t size, int timeout_ms) = 0;
  // Sends a first part of `data`, waiting at most `timeout_ms` (-1: no limit) for room:
  // the number of bytes sent, 0 when there was no room in time.
  virtual std::size_t Send(std::string_view data, int timeout_ms) = 0;
  // Closes the connection at once; every later call fails.
  virtual void Close() = 0;
};

// A lookup and connect under way. Destroying it abandons them; the background work then
// ends by itself and releases what it holds.
class IPendingConnection {
 public:
  virtual ~IPendingConnection() = default;
  // Waits at most `timeout_ms` for the lookup and the connect to end: true when they
  // have ended, with or without success.
  virtual bool Wait(int timeout_ms) = 0;
  // After Wait returned true: the connection, or the failure raised as ESocketError.
  virtual std::unique_ptr<IConnection> Take() = 0;
};

class INetwork {
 public:
  virtual ~INetwork() = default;
  // Starts looking `host` up and connecting to the first of its addresses that accepts
  // a connection on `port`.
  virtual std::unique_ptr<IPendingConnection> Connect(std::string_view host, int port) = 0;
};

// The system's sockets.
INetwork& SystemNetwork();

}  // namespace qm
