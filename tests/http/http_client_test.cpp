// The HTTP client against scripted servers on loopback: the bytes it sends, how it reads
// replies, its progress events, its waits and how they end. Its time-outs run on the
// window system's clock, which here moves only as the client pumps.
#include "http/http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>

#include "headless/scripted_ports.h"
#include "support/loopback_server.h"

namespace qm::testing {
namespace {

using http::EHttpCancelled;
using http::EHttpError;
using http::EHttpProtocolError;
using http::HttpClient;

// A window system whose clock moves on by `ms_per_pump` at every pump (0: it stands
// still), running the timers that come due. Counts the pumps.
class PumpClockWindows : public headless::ManualWindowSystem {
 public:
  PumpClockWindows(headless::Journal& journal, std::int64_t ms_per_pump)
      : ManualWindowSystem(journal), ms_per_pump_(ms_per_pump) {}
  void ProcessMessages() override {
    ++pumps;
    Advance(ms_per_pump_);
  }
  int pumps = 0;

 private:
  std::int64_t ms_per_pump_;
};

// Records the progress events as "begin N", "work N", "end".
struct ProgressLog {
  explicit ProgressLog(HttpClient& client) {
    client.OnWorkBegin = [this](http::WorkMode, std::int64_t n) {
      events.push_back("begin " + std::to_string(n));
    };
    client.OnWork = [this](http::WorkMode, std::int64_t n) {
      events.push_back("work " + std::to_string(n));
    };
    client.OnWorkEnd = [this](http::WorkMode) { events.push_back("end"); };
  }
  // The events with runs of "work" reduced to their last one.
  std::vector<std::string> Summary() const {
    std::vector<std::string> out;
    for (const auto& e : events) {
      if (!out.empty() && e.rfind("work", 0) == 0 && out.back().rfind("work", 0) == 0) {
        out.back() = e;
      } else {
        out.push_back(e);
      }
    }
    return out;
  }
  std::vector<std::string> events;
};

LoopbackServer::Script Reply(std::string reply) {
  return [reply](ServerConnection& c) {
    c.ReadRequest();
    c.Send(reply);
  };
}

std::string Ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         std::string(body);
}

// A port on loopback where nothing listens.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(HttpAddressTest, HostHeaderPathAndQuery) {
  auto a = http::ParseHttpAddress("HTTP://Example.org/dir/setup.exe?x=1&y=2#top");
  EXPECT_EQ(a.host, "Example.org");
  EXPECT_EQ(a.port, 80);
  EXPECT_EQ(a.host_header, "Example.org");
  EXPECT_EQ(a.target, "/dir/setup.exe?x=1&y=2");

  a = http::ParseHttpAddress("http://user:pw@h:8080");
  EXPECT_EQ(a.host, "h");
  EXPECT_EQ(a.host_header, "h:8080");
  EXPECT_EQ(a.target, "/");

  EXPECT_EQ(http::ParseHttpAddress("http://h:80/x").host_header, "h");
  EXPECT_EQ(http::ParseHttpAddress("http://h?q").target, "/?q");
  a = http::ParseHttpAddress("http://[::1]:81/a");
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.host_header, "[::1]:81");

  for (const char* bad : {"https://h/", "ftp://h", "http://", "http:///x", "http://h:0/",
                          "http://h:65536/", "http://h:8x/", "http://h x/", "http://[::1/"}) {
    EXPECT_THROW(http::ParseHttpAddress(bad), EHttpError) << bad;
  }
}

TEST(HttpClientTest, SendsTheRequestLineAndHeadersInOrder) {
  LoopbackServer server({Reply(Ok("hi"))});
  HttpClient client;
  std::string body = "kept:";
  client.Get(server.Url() + "/index.php/a b?q=\xE4\r\nX: y", body);
  EXPECT_EQ(body, "kept:hi");  // appended at the buffer's end
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /index.php/a%20b?q=%E4%0D%0AX:%20y HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.Port()) +
                "\r\n"
                "Accept: text/html, */*\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                "\r\n");
}

TEST(HttpClientTest, KeptConnectionIsReusedAndCookiesGoBackToTheClientThatGotThem) {
  LoopbackServer server({[](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send(
                               "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; Path=/\r\n"
                               "Set-Cookie: lang=en\r\nContent-Length: 1\r\n\r\n1");
                           c.ReadRequest();
                           c.Send(
                               "HTTP/1.1 200 OK\r\nSet-Cookie: lang=x; Max-Age=0\r\n"
                               "Content-Length: 1\r\n\r\n2");
                           c.ReadRequest();
                           c.Send(Ok("3"));
                         },
                         Reply(Ok("4"))});
  HttpClient client;
  std::string body;
  client.Get(server.Url() + "/1", body);
  client.Get(server.Url() + "/2", body);
  client.Get(server.Url() + "/3", body);
  HttpClient other;  // each client holds its own cookies
  other.Get(server.Url() + "/4", body);
  EXPECT_EQ(body, "1234");
  EXPECT_EQ(server.Connections(), 2);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                             "Cookie: sid=abc; lang=en\r\n\r\n"),
            std::string::npos)
      << requests[1];
  EXPECT_NE(requests[2].find("Cookie: sid=abc\r\n"), std::string::npos) << requests[2];
  EXPECT_EQ(requests[3].find("Cookie:"), std::string::npos);
}

TEST(HttpClientTest, ReconnectsWhenTheServerClosedTheKeptConnection) {
  LoopbackServer server({[](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send(Ok("a"));
                           c.Close();  // without saying so in the reply
                         },
                         Reply(Ok("b"))});
  HttpClient client;
  std::string body;
  client.Get(server.Url() + "/", body);
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(body, "ab");
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpClientTest, InterimRepliesAreSkipped) {
  LoopbackServer server(
      {Reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + Ok("done"))});
  HttpClient client;
  std::string body;
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(body, "done");
  EXPECT_EQ(client.ResponseCode(), 200);
}

TEST(HttpClientTest, NoContentSucceedsWithoutBodyOrProgress) {
  LoopbackServer server({Reply("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n")});
  HttpClient client;
  ProgressLog log(client);
  std::string body;
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(body, "");
  EXPECT_TRUE(log.events.empty());
}

TEST(HttpClientTest, FailingStatusesAndRedirectsFailWithTheStatusLine) {
  LoopbackServer server(
      {Reply("HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\nContent-Length: 0\r\n\r\n"),
       Reply("HTTP/1.1 200 OK\r\nLocation: /elsewhere\r\nContent-Length: 2\r\n\r\nno"),
       Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"),
       Reply("HTTP/1.0 500 Internal Server Error\r\n\r\n")});
  HttpClient client;
  ProgressLog log(client);
  std::string body;
  const std::vector<std::pair<int, std::string>> expected = {
      {301, "HTTP/1.1 301 Moved Permanently"},
      {200, "HTTP/1.1 200 OK"},
      {404, "HTTP/1.1 404 Not Found"},
      {500, "HTTP/1.0 500 Internal Server Error"}};
  for (const auto& [code, line] : expected) {
    try {
      client.Get(server.Url() + "/x", body);
      ADD_FAILURE() << code << " succeeded";
    } catch (const EHttpProtocolError& e) {
      EXPECT_EQ(e.ErrorCode(), code);
      EXPECT_EQ(std::string(e.what()), line);
    }
  }
  EXPECT_EQ(body, "");  // no body of a failed reply is kept
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(server.Connections(), 4);
}

TEST(HttpClientTest, ChunkedBodyReportsEveryChunkAsAUnitOfProgress) {
  const std::string reply =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
      "5;name=value\r\nHello\r\n"
      "0007\r\n, world\r\n"
      "1\r\n!\r\n"
      "0\r\nTrailer: x\r\n\r\n";
  LoopbackServer server({[reply](ServerConnection& c) {
    c.ReadRequest();
    c.SendSlowly(reply, 3);
    c.ReadRequest();  // still open for the next request
    c.Send(Ok("."));
  }});
  HttpClient client;
  ProgressLog log(client);
  std::string body;
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(body, "Hello, world!");
  EXPECT_EQ(log.Summary(), (std::vector<std::string>{"begin 5", "work 5", "end", "begin 7",
                                                     "work 7", "end", "begin 1", "work 1", "end"}));
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpClientTest, BodyEndedByClosingTheConnection) {
  const std::string payload(100000, 'z');
  LoopbackServer server({[payload](ServerConnection& c) {
                           c.ReadRequest();
                           c.Send(
                               "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n");
                           c.SendSlowly(payload, 30000);
                           c.Close();
                         },
                         Reply(Ok("next"))});
  HttpClient client;
  ProgressLog log(client);
  std::string body;
  client.Get(server.Url() + "/", body);
  EXPECT_EQ(body, payload);
  const auto summary = log.Summary();
  EXPECT_EQ(summary, (std::vector<std::string>{"begin 0", "work 100000", "end"}));
  std::string next;
  client.Get(server.Url() + "/", next);  // such a connection is never used again
  EXPECT_EQ(next, "next");
  EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpClientTest, BodyCutShortFailsAndStillEndsTheProgress) {
  LoopbackServer server({[](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345");
    c.Close();
  }});
  HttpClient client;
  ProgressLog log(client);
  std::string body;
  EXPECT_THROW(client.Get(server.Url() + "/", body), EHttpError);
  EXPECT_EQ(body, "12345");
  EXPECT_EQ(log.Summary(), (std::vector<std::string>{"begin 10", "work 5", "end"}));
}

TEST(HttpClientTest, MalformedRepliesAreRefused) {
  const std::vector<std::string> replies = {
      "SMTP ready\r\n\r\n",
      "HTTP/1.1 2000 OK\r\n\r\n",
      "HTTP/1.1 200 OK\r\nno colon here\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\n12345",
      "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX\r\n0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'a') + "\r\n\r\n",
  };
  std::vector<LoopbackServer::Script> scripts;
  for (const auto& reply : replies) {
    scripts.push_back([reply](ServerConnection& c) {
      c.ReadRequest();
      c.Send(reply);
      c.Close();
    });
  }
  LoopbackServer server(scripts);
  HttpClient client;
  for (const auto& reply : replies) {
    std::string body;
    EXPECT_THROW(client.Get(server.Url() + "/", body), EHttpError) << reply.substr(0, 60);
  }
}

TEST(HttpClientTest, RefusedConnectionAndUnknownHostFail) {
  HttpClient client;
  std::string body;
  EXPECT_THROW(client.Get("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", body),
               ESocketError);
  EXPECT_THROW(client.Get("http://update.invalid/", body), ESocketError);
  EXPECT_THROW(client.Get("https://127.0.0.1/", body), EHttpError);
}

TEST(HttpClientTest, NamesBelowInvalidAreKnownNotToResolve) {
  for (const char* name : {"invalid", "update.invalid", "Update.INVALID.", "a.b.invalid"}) {
    EXPECT_TRUE(IsInvalidDomain(name)) << name;
  }
  for (const char* name : {"", "notinvalid", "invalid.example", "update.invalid.example"}) {
    EXPECT_FALSE(IsInvalidDomain(name)) << name;
  }
}

// A silent server: it accepts the connection and then sends nothing.
LoopbackServer::Script Silent() {
  return [](ServerConnection& c) {
    c.ReadRequest();
    c.WaitForClientClose();
  };
}

TEST(HttpClientTest, SilentServerKeepsTimersRunningUntilTheWaitIsCancelled) {
  bool closed_by_client = false;
  LoopbackServer server({[&closed_by_client](ServerConnection& c) {
    c.ReadRequest();
    closed_by_client = c.WaitForClientClose();
  }});
  headless::Journal journal;
  PumpClockWindows windows(journal, 250);
  http::AntiFreeze pump(windows);
  HttpClient client;
  client.Pump = &pump;
  int ticks = 0;
  auto timer = windows.CreateTimer(20, true, [&] {
    if (++ticks == 5) client.Cancel();
  });
  std::string body;
  EXPECT_THROW(client.Get(server.Url() + "/", body), EHttpCancelled);
  EXPECT_GE(ticks, 5);  // the pump that ran the cancel may run more ticks that were due
  EXPECT_FALSE(client.Busy());
  server.Join();
  EXPECT_TRUE(closed_by_client);
}

TEST(HttpClientTest, AWaitGivesUpWhenTheApplicationIsEnding) {
  LoopbackServer server({Silent()});
  headless::Journal journal;
  PumpClockWindows windows(journal, 250);
  http::AntiFreeze pump(windows);
  HttpClient client;
  client.Pump = &pump;
  auto timer = windows.CreateTimer(30, true, [&] { windows.Terminate(); });
  std::string body;
  EXPECT_THROW(client.Get(server.Url() + "/", body), EHttpCancelled);
}

TEST(HttpClientTest, ConnectTimesOutWhileTheWindowKeepsRunning) {
  // A listener whose queue is full: further connects are neither accepted nor refused.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

  headless::Journal journal;
  PumpClockWindows windows(journal, HttpClient::kConnectPumpMs);
  http::AntiFreeze pump(windows);
  HttpClient client;
  client.Pump = &pump;
  client.ConnectTimeout = 400;
  int ticks = 0;
  auto timer = windows.CreateTimer(50, true, [&] { ++ticks; });
  std::string body;
  try {
    client.Get(url, body);
    ADD_FAILURE() << "connected";
  } catch (const EHttpError& e) {
    EXPECT_EQ(std::string(e.what()), "Connect timed out.");
  }
  EXPECT_GT(ticks, 0);

  // The same wait ends at once when a handler cancels it.
  client.ConnectTimeout = 0;
  auto cancel = windows.CreateTimer(10, true, [&] { client.Cancel(); });
  EXPECT_THROW(client.Get(url, body), EHttpCancelled);
  ::close(filler);
  ::close(listener);
}

// ---- The waits' pumping, on a connection that answers from a script.

class ScriptedConnection : public IConnection {
 public:
  // The time-out of every receive goes to `receive_timeouts`, which outlives the
  // connection (the client drops a connection whose reply failed).
  ScriptedConnection(std::deque<std::string> script, std::vector<int>& receive_timeouts)
      : receive_timeouts(receive_timeouts), script_(std::move(script)) {}
  long Receive(char* buffer, std::size_t size, int timeout_ms) override {
    receive_timeouts.push_back(timeout_ms);
    if (script_.empty()) return 0;
    std::string next = std::move(script_.front());
    script_.pop_front();
    if (next.empty()) return kTimedOut;  // nothing arrived in time
    if (next.size() > size) {
      script_.push_front(next.substr(size));
      next.resize(size);
    }
    std::copy(next.begin(), next.end(), buffer);
    return static_cast<long>(next.size());
  }
  std::size_t Send(std::string_view data, int) override {
    const std::size_t n = std::min<std::size_t>(data.size(), 10);
    sent.append(data.substr(0, n));
    return n;
  }
  void Close() override {}

  std::vector<int>& receive_timeouts;
  std::string sent;

 private:
  std::deque<std::string> script_;
};

class ScriptedNetwork : public INetwork {
 public:
  explicit ScriptedNetwork(std::deque<std::string> script) : script_(std::move(script)) {}
  std::unique_ptr<IPendingConnection> Connect(std::string_view, int) override {
    struct Pending : IPendingConnection {
      ScriptedNetwork& network;
      explicit Pending(ScriptedNetwork& n) : network(n) {}
      bool Wait(int) override { return true; }
      std::unique_ptr<IConnection> Take() override {
        auto connection =
            std::make_unique<ScriptedConnection>(network.script_, network.receive_timeouts);
        network.last = connection.get();
        return connection;
      }
    };
    return std::make_unique<Pending>(*this);
  }
  ScriptedConnection* last = nullptr;
  std::vector<int> receive_timeouts;

 private:
  std::deque<std::string> script_;
};

// A client on a scripted network whose waits pump a window system with a pump clock.
struct PumpedClient {
  PumpedClient(std::deque<std::string> script, std::int64_t ms_per_pump)
      : network(std::move(script)), windows(journal, ms_per_pump) {
    client.Pump = &pump;
  }
  ScriptedNetwork network;
  headless::Journal journal;
  PumpClockWindows windows;
  http::AntiFreeze pump{windows};
  HttpClient client{network};
};

TEST(HttpClientTest, WaitsPumpAfterEachIdleTimeOutAndAfterTrafficOnlyWhenAsked) {
  // Three silent waits, then the reply in two reads.
  const std::deque<std::string> script = {"", "", "",
                                          "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nab", "c"};
  for (const bool only_when_idle : {true, false}) {
    PumpedClient pumped(script, 0);
    pumped.pump.OnlyWhenIdle = only_when_idle;
    std::string body;
    pumped.client.Get("http://h/", body);
    EXPECT_EQ(body, "abc");
    ASSERT_NE(pumped.network.last, nullptr);
    for (int timeout : pumped.network.last->receive_timeouts) EXPECT_EQ(timeout, 250);
    // The request went out in 10-byte sends.
    const int sends = static_cast<int>((pumped.network.last->sent.size() + 9) / 10);
    EXPECT_EQ(pumped.windows.pumps, only_when_idle ? 3 : 3 + 2 + sends) << only_when_idle;
  }
}

TEST(HttpClientTest, ReadTimeOutComesOnTheWindowSystemsClockAndBoundsTheWaits) {
  PumpedClient pumped({"", "", "", "", "", "", "", ""}, 250);  // a server that stays silent
  pumped.client.ReadTimeout = 600;
  std::string body;
  try {
    pumped.client.Get("http://h/", body);
    ADD_FAILURE() << "no time-out";
  } catch (const EHttpError& e) {
    EXPECT_EQ(std::string(e.what()), "Read timed out.");
  }
  EXPECT_EQ(pumped.network.receive_timeouts, (std::vector<int>{250, 250, 100}));
}

TEST(HttpClientTest, NoReadTimeOutWhileTheWindowSystemsClockStandsStill) {
  PumpedClient pumped({"", "", "", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}, 0);
  pumped.client.ReadTimeout = 1;
  std::string body;
  pumped.client.Get("http://h/", body);
  EXPECT_EQ(body, "ok");
  EXPECT_EQ(pumped.windows.pumps, 3);
}

}  // namespace
}  // namespace qm::testing
