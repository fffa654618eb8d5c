// Feeds arbitrary server replies to the HTTP client: the status line, the header, the
// body's framing (Content-Length, chunked coding, the end of the connection) and the
// reuse of a kept connection. The reply comes from a buffer that a connection hands out
// in pieces; the first input byte picks the piece size. Two requests run on one client,
// so that a second reply (or a reconnect) reads what the first left. Besides crashes and
// sanitizer reports it checks that the progress events pair up and never pass the
// announced length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "http/http_client.h"
#include "platform/errors.h"
#include "platform/network.h"

namespace {

class BufferConnection : public qm::IConnection {
 public:
  BufferConnection(std::string_view& rest, std::size_t piece) : rest_(rest), piece_(piece) {}
  long Receive(char* buffer, std::size_t size, int) override {
    if (closed_ || rest_.empty()) return 0;
    const std::size_t n = std::min({size, piece_, rest_.size()});
    std::memcpy(buffer, rest_.data(), n);
    rest_.remove_prefix(n);
    return static_cast<long>(n);
  }
  std::size_t Send(std::string_view data, int) override {
    if (closed_) throw qm::ESocketError(32, "closed");
    return data.size();
  }
  void Close() override { closed_ = true; }

 private:
  std::string_view& rest_;
  std::size_t piece_;
  bool closed_ = false;
};

class BufferNetwork : public qm::INetwork {
 public:
  BufferNetwork(std::string_view data, std::size_t piece) : rest_(data), piece_(piece) {}
  std::unique_ptr<qm::IPendingConnection> Connect(std::string_view, int) override {
    struct Pending : qm::IPendingConnection {
      BufferNetwork& network;
      explicit Pending(BufferNetwork& n) : network(n) {}
      bool Wait(int) override { return true; }
      std::unique_ptr<qm::IConnection> Take() override {
        return std::make_unique<BufferConnection>(network.rest_, network.piece_);
      }
    };
    return std::make_unique<Pending>(*this);
  }

 private:
  std::string_view rest_;
  std::size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr std::size_t kPieces[] = {1, 2, 3, 7, 16, 100, 4096, 1 << 20};
  const std::size_t piece = kPieces[data[0] % 8];
  BufferNetwork network(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), piece);
  qm::http::HttpClient client(network);

  bool in_body = false;
  std::int64_t announced = 0;
  std::int64_t last = 0;
  client.OnWorkBegin = [&](qm::http::WorkMode, std::int64_t max) {
    if (in_body || max < 0) __builtin_trap();
    in_body = true;
    announced = max;
    last = 0;
  };
  client.OnWork = [&](qm::http::WorkMode, std::int64_t count) {
    if (!in_body || count <= last || (announced > 0 && count > announced)) __builtin_trap();
    last = count;
  };
  client.OnWorkEnd = [&](qm::http::WorkMode) {
    if (!in_body) __builtin_trap();
    in_body = false;
  };

  for (int request = 0; request < 2; ++request) {
    std::string body;
    qm::http::StringSink sink(body, 1 << 20);
    try {
      client.Get("http://fuzz.test/update", sink);
      if (announced > 0 && last != announced) __builtin_trap();  // a body ends complete
    } catch (const qm::Exception&) {
    }
    if (in_body) __builtin_trap();
    announced = 0;
  }
  return 0;
}
