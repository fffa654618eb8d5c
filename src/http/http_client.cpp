#include "http/http_client.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "text/codepage.h"

namespace qm::http {

namespace {

// The reading buffer: enough for the longest head line at first, larger for a body.
constexpr std::size_t kHeadBufferSize = 32 * 1024;
constexpr std::size_t kBodyBufferSize = 256 * 1024;
// Bounds on what a reply may send before its body, so that a broken or hostile server
// cannot make the client hold arbitrary amounts of memory.
constexpr std::size_t kMaxLine = 16 * 1024;
constexpr std::size_t kMaxHeadBytes = 256 * 1024;
constexpr std::size_t kMaxHeaderLines = 512;
constexpr int kMaxInterimReplies = 32;
constexpr std::size_t kMaxCookies = 64;
constexpr std::size_t kMaxCookieBytes = 4096;

// The reply ended before it was complete; when nothing at all arrived on a connection
// kept from an earlier request, the request is made again on a new one.
class EClosedEarly : public EHttpError {
 public:
  EClosedEarly() : EHttpError("The connection closed before the reply was complete.") {}
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::LowerAscii(a) == text::LowerAscii(b);
}

// The comma-separated tokens of a header value, trimmed and lower-cased.
std::vector<std::string> Tokens(std::string_view value) {
  std::vector<std::string> out;
  while (true) {
    const std::size_t comma = value.find(',');
    const std::string_view token = Trim(value.substr(0, comma));
    if (!token.empty()) out.push_back(text::LowerAscii(token));
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return out;
}

bool HasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

struct Head {
  int major = 0;
  int minor = 0;
  int status = 0;
  std::string status_line;
  std::vector<std::pair<std::string, std::string>> headers;

  std::vector<const std::string*> All(std::string_view name) const {
    std::vector<const std::string*> out;
    for (const auto& [n, v] : headers) {
      if (EqualsNoCase(n, name)) out.push_back(&v);
    }
    return out;
  }
  bool Has(std::string_view name) const { return !All(name).empty(); }
};

// "HTTP/" digits "." digits, blanks, three digits, then the end or a blank and a reason.
bool ParseStatusLine(const std::string& line, Head& head) {
  std::string_view s = line;
  if (s.size() < 5 || s.substr(0, 5) != "HTTP/") return false;
  s.remove_prefix(5);
  auto number = [&s](int& out) {
    std::size_t n = 0;
    out = 0;
    while (n < s.size() && n < 3 && s[n] >= '0' && s[n] <= '9') out = out * 10 + (s[n++] - '0');
    s.remove_prefix(n);
    return n > 0;
  };
  if (!number(head.major) || s.empty() || s.front() != '.') return false;
  s.remove_prefix(1);
  if (!number(head.minor) || s.empty() || !IsBlank(s.front())) return false;
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  if (s.size() < 3) return false;
  int status = 0;
  for (int i = 0; i < 3; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    status = status * 10 + (s[i] - '0');
  }
  if (s.size() > 3 && !IsBlank(s[3])) return false;
  head.status = status;
  head.status_line = line;
  return true;
}

// A decimal length of at most 18 digits.
std::optional<std::int64_t> ParseLength(std::string_view s) {
  if (s.empty() || s.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A chunk-size line: hexadecimal digits, optionally followed by ";" and extensions.
std::optional<std::int64_t> ParseChunkSize(std::string_view line) {
  line = Trim(line.substr(0, line.find(';')));
  if (line.empty() || line.size() > 15) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : line) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

void StringSink::Append(std::string_view bytes) {
  if (limit_ != std::string::npos && bytes.size() > limit_ - std::min(limit_, buffer_.size())) {
    throw EHttpError("The reply is too large.");
  }
  buffer_.append(bytes);
}

// One request and its reply on a connection: the buffered reading of the reply and the
// waits, which pump through the client.
class HttpClient::Exchange {
 public:
  Exchange(HttpClient& client, IConnection& connection)
      : client_(client),
        connection_(connection),
        buffer_(new char[kHeadBufferSize]),  // left uninitialised: it is only read after a receive
        capacity_(kHeadBufferSize) {}

  std::uint64_t Received() const { return received_; }
  bool Leftover() const { return pos_ < end_; }

  void Send(std::string_view data) {
    while (!data.empty()) {
      const std::size_t sent = connection_.Send(data, WaitSlice(std::nullopt));
      if (sent == 0) {
        client_.PumpIdle();
        continue;
      }
      data.remove_prefix(sent);
      client_.PumpAfterTraffic();
    }
  }

  Head ReadHead() {
    Head head;
    std::size_t head_bytes = 0;
    auto next_line = [&] {
      std::string line = ReadLine();
      head_bytes += line.size() + 2;
      if (head_bytes > kMaxHeadBytes) throw EHttpError("The reply's header is too large.");
      return line;
    };
    for (int interim = 0;; ++interim) {
      std::string line = next_line();
      // Stray line breaks before a status line are tolerated.
      for (int blank = 0; line.empty() && blank < 4; ++blank) line = next_line();
      if (!ParseStatusLine(line, head)) throw EHttpError("The reply is not an HTTP reply.");
      head.headers.clear();
      for (;;) {
        line = next_line();
        if (line.empty()) break;
        if (IsBlank(line.front())) {  // a folded continuation line
          if (head.headers.empty()) throw EHttpError("Invalid header line in the reply.");
          head.headers.back().second += ' ';
          head.headers.back().second += Trim(line);
          continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 ||
            std::any_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), IsBlank)) {
          throw EHttpError("Invalid header line in the reply.");
        }
        if (head.headers.size() >= kMaxHeaderLines)
          throw EHttpError("The reply's header is too large.");
        head.headers.emplace_back(line.substr(0, colon),
                                  std::string(Trim(std::string_view(line).substr(colon + 1))));
      }
      // Interim replies (100 Continue and the like) come before the final one.
      const bool interim_reply = head.status >= 100 && head.status < 200 && head.status != 101;
      if (!interim_reply) return head;
      if (interim >= kMaxInterimReplies) throw EHttpError("Too many interim replies.");
    }
  }

  // A body of `length` bytes, reported as one unit of progress.
  void ReadSized(std::int64_t length, IBodySink& body) {
    if (length > 0) GrowForBody();
    if (client_.OnWorkBegin) client_.OnWorkBegin(wmRead, length);
    try {
      client_.CheckGoOn();
      std::int64_t count = 0;
      while (count < length) {
        if (pos_ == end_ && !Fill()) throw EClosedEarly();
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(end_ - pos_), length - count));
        body.Append(std::string_view(buffer_.get() + pos_, take));
        pos_ += take;
        count += static_cast<std::int64_t>(take);
        client_.Event([&] {
          if (client_.OnWork) client_.OnWork(wmRead, count);
        });
      }
    } catch (...) {
      if (client_.OnWorkEnd) client_.OnWorkEnd(wmRead);
      throw;
    }
    client_.Event([&] {
      if (client_.OnWorkEnd) client_.OnWorkEnd(wmRead);
    });
  }

  // A body that ends when the server closes the connection.
  void ReadToEnd(IBodySink& body) {
    GrowForBody();
    if (client_.OnWorkBegin) client_.OnWorkBegin(wmRead, 0);
    try {
      client_.CheckGoOn();
      std::int64_t count = 0;
      while (pos_ < end_ || Fill()) {
        const std::size_t take = end_ - pos_;
        body.Append(std::string_view(buffer_.get() + pos_, take));
        pos_ = end_;
        count += static_cast<std::int64_t>(take);
        client_.Event([&] {
          if (client_.OnWork) client_.OnWork(wmRead, count);
        });
      }
    } catch (...) {
      if (client_.OnWorkEnd) client_.OnWorkEnd(wmRead);
      throw;
    }
    client_.Event([&] {
      if (client_.OnWorkEnd) client_.OnWorkEnd(wmRead);
    });
  }

  void ReadChunked(IBodySink& body) {
    for (;;) {
      const auto size = ParseChunkSize(ReadLine());
      if (!size) throw EHttpError("Invalid chunk size in the reply.");
      if (*size == 0) break;
      ReadSized(*size, body);
      if (!ReadLine().empty()) throw EHttpError("Invalid chunk end in the reply.");
    }
    std::size_t trailer_bytes = 0;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
      trailer_bytes += line.size() + 2;
      if (trailer_bytes > kMaxHeadBytes) throw EHttpError("The reply's trailer is too large.");
    }
  }

 private:
  // How long one wait may last: the pump's idle time-out when it pumps, else without
  // limit; never beyond `deadline` (on the client's clock).
  int WaitSlice(std::optional<std::int64_t> deadline) const {
    int slice = -1;
    if (client_.Pump != nullptr && client_.Pump->Active)
      slice = std::max(1, client_.Pump->IdleTimeOut);
    if (deadline) {
      const std::int64_t left = *deadline - client_.Now();
      if (left <= 0) throw EHttpError("Read timed out.");
      const int bounded = static_cast<int>(std::min<std::int64_t>(left, 1 << 30));
      slice = slice < 0 ? bounded : std::min(slice, bounded);
    }
    return slice;
  }

  void GrowTo(std::size_t capacity) {
    std::unique_ptr<char[]> larger(new char[capacity]);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = capacity;
  }
  void GrowForBody() {
    if (capacity_ < kBodyBufferSize) GrowTo(kBodyBufferSize);
  }

  // Reads more of the reply into the buffer; false when the server has closed.
  bool Fill() {
    if (pos_ == end_) {
      pos_ = end_ = 0;
    } else if (end_ == capacity_ && pos_ > 0) {
      std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
    }
    if (end_ == capacity_) GrowTo(capacity_ * 2);  // a long line is still growing
    std::optional<std::int64_t> deadline;
    if (client_.ReadTimeout > 0) deadline = client_.Now() + client_.ReadTimeout;
    for (;;) {
      const long n =
          connection_.Receive(buffer_.get() + end_, capacity_ - end_, WaitSlice(deadline));
      if (n == IConnection::kTimedOut) {
        client_.PumpIdle();
        continue;
      }
      if (n == 0) return false;
      end_ += static_cast<std::size_t>(n);
      received_ += static_cast<std::uint64_t>(n);
      client_.PumpAfterTraffic();
      return true;
    }
  }

  // One line of the head, without its CR LF (a lone LF also ends a line).
  std::string ReadLine() {
    std::size_t scanned = pos_;
    for (;;) {
      const char* start = buffer_.get() + scanned;
      const void* lf = std::memchr(start, '\n', end_ - scanned);
      if (lf != nullptr) {
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get());
        if (at - pos_ > kMaxLine) throw EHttpError("A line of the reply is too long.");
        std::size_t stop = at;
        if (stop > pos_ && buffer_[stop - 1] == '\r') --stop;
        std::string line(buffer_.get() + pos_, stop - pos_);
        pos_ = at + 1;
        return line;
      }
      if (end_ - pos_ > kMaxLine) throw EHttpError("A line of the reply is too long.");
      const std::size_t kept = end_ - pos_;
      if (!Fill()) throw EClosedEarly();
      scanned = pos_ + kept;
    }
  }

  HttpClient& client_;
  IConnection& connection_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t received_ = 0;
};

HttpClient::HttpClient(INetwork& network) : network_(network) {}

HttpClient::~HttpClient() = default;

std::int64_t HttpClient::Now() const {
  if (Pump != nullptr) return Pump->TickCount();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void HttpClient::CheckGoOn() const {
  if (cancelled_) throw EHttpCancelled("The request was cancelled.");
  if (Pump != nullptr && Pump->ApplicationTerminated()) {
    throw EHttpCancelled("The request was given up: the program is ending.");
  }
}

void HttpClient::PumpIdle() {
  if (Pump != nullptr) Pump->DoProcess(true);
  CheckGoOn();
}

void HttpClient::PumpAfterTraffic() {
  if (Pump != nullptr) Pump->DoProcess(false);
  CheckGoOn();
}

template <typename F>
void HttpClient::Event(F&& raise) {
  raise();
  CheckGoOn();
}

void HttpClient::Cancel() {
  if (!busy_) return;
  cancelled_ = true;
  if (connection_) connection_->Close();
}

void HttpClient::Disconnect() {
  if (busy_) {
    Cancel();
    return;
  }
  connection_.reset();
}

std::string HttpClient::BuildRequest(const HttpAddress& address) const {
  std::string request = "GET " + address.target + " HTTP/" + ProtocolVersion + "\r\n";
  request += "Host: " + address.host_header + "\r\n";
  if (!Request.Accept.empty()) request += "Accept: " + Request.Accept + "\r\n";
  if (!Request.UserAgent.empty()) request += "User-Agent: " + Request.UserAgent + "\r\n";
  const std::string host = text::LowerAscii(address.host);
  std::string cookies;
  for (const Cookie& cookie : cookies_) {
    if (cookie.host != host) continue;
    if (!cookies.empty()) cookies += "; ";
    cookies += cookie.name + "=" + cookie.value;
  }
  if (!cookies.empty()) request += "Cookie: " + cookies + "\r\n";
  return request + "\r\n";
}

void HttpClient::StoreCookie(const std::string& host, std::string_view set_cookie) {
  std::string_view pair = set_cookie.substr(0, set_cookie.find(';'));
  const std::size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return;
  const std::string_view name = Trim(pair.substr(0, eq));
  const std::string_view value = Trim(pair.substr(eq + 1));
  if (name.empty() || name.size() + value.size() > kMaxCookieBytes || HasControl(name) ||
      HasControl(value) || name.find_first_of(" \t,;") != std::string_view::npos) {
    return;
  }
  bool remove = false;
  std::string_view attributes = set_cookie.substr(pair.size());
  while (!attributes.empty()) {
    attributes.remove_prefix(1);  // the ";"
    const std::string_view attribute = attributes.substr(0, attributes.find(';'));
    attributes.remove_prefix(attribute.size());
    const std::size_t aeq = attribute.find('=');
    if (aeq == std::string_view::npos) continue;
    if (EqualsNoCase(Trim(attribute.substr(0, aeq)), "max-age")) {
      // Max-Age 0 or below: the server deletes the cookie.
      const std::string_view age = Trim(attribute.substr(aeq + 1));
      const auto seconds = ParseLength(age);
      remove = (!age.empty() && age.front() == '-') || (seconds && *seconds == 0);
    }
  }
  std::erase_if(cookies_, [&](const Cookie& c) { return c.host == host && c.name == name; });
  if (remove) return;
  const auto same_host = std::count_if(cookies_.begin(), cookies_.end(),
                                       [&](const Cookie& c) { return c.host == host; });
  if (static_cast<std::size_t>(same_host) >= kMaxCookies) {
    cookies_.erase(std::find_if(cookies_.begin(), cookies_.end(),
                                [&](const Cookie& c) { return c.host == host; }));
  }
  cookies_.push_back({host, std::string(name), std::string(value)});
}

std::unique_ptr<IConnection> HttpClient::Connect(const HttpAddress& address) {
  auto pending = network_.Connect(address.host, address.port);
  const std::int64_t deadline =
      Now() + (ConnectTimeout > 0 ? ConnectTimeout : kDefaultConnectTimeoutMs);
  for (;;) {
    const std::int64_t left = deadline - Now();
    if (left <= 0) throw EHttpError("Connect timed out.");
    const int slice =
        static_cast<int>(std::min<std::int64_t>(left, Pump != nullptr ? kConnectPumpMs : 1 << 30));
    if (pending->Wait(slice)) break;
    PumpIdle();
  }
  return pending->Take();
}

void HttpClient::Get(std::string_view address, std::string& buffer) {
  StringSink sink(buffer);
  Get(address, sink);
}

void HttpClient::Get(std::string_view address, IBodySink& body) {
  if (busy_) throw EHttpError("The HTTP client is busy with another request.");
  const HttpAddress target = ParseHttpAddress(address);
  busy_ = true;
  cancelled_ = false;
  struct Idle {
    HttpClient& client;
    ~Idle() {
      client.busy_ = false;
      client.cancelled_ = false;
    }
  } idle{*this};

  const std::string request = BuildRequest(target);
  const std::string key = text::LowerAscii(target.host) + ":" + std::to_string(target.port);
  try {
    for (int attempt = 0;; ++attempt) {
      const bool reused = connection_ != nullptr && connection_key_ == key;
      if (!reused) {
        connection_.reset();
        connection_ = Connect(target);
        connection_key_ = key;
      }
      Exchange exchange(*this, *connection_);
      Head head;
      try {
        exchange.Send(request);
        head = exchange.ReadHead();
      } catch (const EHttpCancelled&) {
        throw;
      } catch (const Exception&) {
        // A kept connection the server has closed meanwhile: once more on a new one.
        if (!reused || attempt > 0 || exchange.Received() > 0) throw;
        connection_.reset();
        continue;
      }

      response_code_ = head.status;
      if (AllowCookies) {
        for (const std::string* value : head.All("Set-Cookie"))
          StoreCookie(text::LowerAscii(target.host), *value);
      }

      // Redirects are not followed: a reply that names another place fails like an error.
      if (head.status < 200 || head.status > 299 || head.Has("Location")) {
        throw EHttpProtocolError(head.status, head.status_line);
      }

      bool chunked = false;
      bool until_close = false;
      std::optional<std::int64_t> length;
      const bool no_body = head.status == 204 || head.status == 304;
      if (no_body) {
        // Whatever the head says, these replies end with it.
      } else if (const auto codings = head.All("Transfer-Encoding"); !codings.empty()) {
        const std::vector<std::string> last = Tokens(*codings.back());
        chunked = !last.empty() && last.back() == "chunked";
        until_close = !chunked;
      } else {
        for (const std::string* value : head.All("Content-Length")) {
          for (const std::string& token : Tokens(*value)) {
            const auto parsed = ParseLength(token);
            if (!parsed || (length && *length != *parsed))
              throw EHttpError("Invalid Content-Length in the reply.");
            length = parsed;
          }
        }
        until_close = !length;
      }

      bool close_requested = false;
      bool keep_alive_requested = false;
      for (const std::string* value : head.All("Connection")) {
        for (const std::string& token : Tokens(*value)) {
          close_requested |= token == "close";
          keep_alive_requested |= token == "keep-alive";
        }
      }
      const bool http11 = head.major > 1 || (head.major == 1 && head.minor >= 1);

      if (!no_body) {
        if (chunked) {
          exchange.ReadChunked(body);
        } else if (until_close) {
          exchange.ReadToEnd(body);
        } else {
          exchange.ReadSized(*length, body);
        }
      }
      const bool reusable = !close_requested && (http11 || keep_alive_requested) &&
                            (no_body || !until_close) && !exchange.Leftover();
      if (!reusable) connection_.reset();
      return;
    }
  } catch (...) {
    connection_.reset();
    throw;
  }
}

}  // namespace qm::http
