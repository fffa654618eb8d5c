// The system's HTTP/1.1 client: blocking GET requests on the GUI thread that keep the
// window responsive while they wait, report the progress of the reply body, and can be
// cancelled from a handler that runs during one of their waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/anti_freeze.h"
#include "http/http_address.h"
#include "platform/network.h"

namespace qm::http {

enum WorkMode { wmRead, wmWrite };

// A reply whose status is not a success (not 2xx, or a redirect); the message is the
// reply's status line, e.g. "HTTP/1.1 404 Not Found".
class EHttpProtocolError : public EHttpError {
 public:
  EHttpProtocolError(int code, const std::string& status_line)
      : EHttpError(status_line), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// The request was cancelled, or the application is ending.
class EHttpCancelled : public EHttpError {
 public:
  using EHttpError::EHttpError;
};

// Where a reply body goes.
class IBodySink {
 public:
  virtual ~IBodySink() = default;
  virtual void Append(std::string_view bytes) = 0;
};

// Appends to a string, refusing to grow it beyond `limit` bytes in all.
class StringSink : public IBodySink {
 public:
  explicit StringSink(std::string& buffer, std::size_t limit = std::string::npos)
      : buffer_(buffer), limit_(limit) {}
  void Append(std::string_view bytes) override;

 private:
  std::string& buffer_;
  std::size_t limit_;
};

class HttpClient {
 public:
  static constexpr int kDefaultConnectTimeoutMs = 120000;
  static constexpr int kConnectPumpMs = 125;

  explicit HttpClient(INetwork& network = SystemNetwork());
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  struct RequestSettings {
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
  };
  RequestSettings Request;
  // Keep the cookies replies set and send them back to the same host.
  bool AllowCookies = true;
  std::string ProtocolVersion = "1.1";
  // The longest the lookup and connect may take (ms); 0: 120 s.
  int ConnectTimeout = 0;
  // The longest a wait for data may take (ms); 0: no limit.
  int ReadTimeout = 0;
  // The window's pump, called during every wait; null: the waits do not pump. The
  // time-outs run on its window system's clock (without a pump: on the monotonic clock).
  AntiFreeze* Pump = nullptr;

  // Progress of a reply body: its announced length (0 when none) before it, the bytes
  // received so far while it arrives, and its end, also when reception fails. Each chunk
  // of a chunked body is reported as a body of its own.
  std::function<void(WorkMode, std::int64_t)> OnWorkBegin;
  std::function<void(WorkMode, std::int64_t)> OnWork;
  std::function<void(WorkMode)> OnWorkEnd;

  // GET of an absolute "http://" address. The body is appended to `buffer` (given to
  // `body`); returns when all of it has arrived. Raises EHttpError (EHttpProtocolError
  // for a failing status, EHttpCancelled after Cancel) or ESocketError on any failure.
  void Get(std::string_view address, std::string& buffer);
  void Get(std::string_view address, IBodySink& body);

  // Makes the Get under way fail as soon as control returns to it, and closes its
  // connection. For handlers that run during the Get's waits; does nothing when idle.
  void Cancel();
  // Closes a connection kept open from the last request.
  void Disconnect();
  bool Busy() const { return busy_; }
  // The status code of the last reply (0 before any).
  int ResponseCode() const { return response_code_; }

 private:
  class Exchange;
  struct Cookie {
    std::string host;  // lower-cased
    std::string name;
    std::string value;
  };

  std::string BuildRequest(const HttpAddress& address) const;
  std::unique_ptr<IConnection> Connect(const HttpAddress& address);
  // Milliseconds of the clock the time-outs run on.
  std::int64_t Now() const;
  void StoreCookie(const std::string& host, std::string_view set_cookie);
  // After every pump and every event: throws when cancelled or the application ends.
  void CheckGoOn() const;
  // Pumps after a wait that ran out, and after a wait that found data or a send.
  void PumpIdle();
  void PumpAfterTraffic();
  // Raises a progress event, then checks whether to go on.
  template <typename F>
  void Event(F&& raise);

  INetwork& network_;
  std::unique_ptr<IConnection> connection_;
  std::string connection_key_;  // "host:port" of the kept connection
  std::vector<Cookie> cookies_;
  bool busy_ = false;
  bool cancelled_ = false;
  int response_code_ = 0;
};

}  // namespace qm::http
