#include "win32/windows_api.h"  // ahead of the socket headers

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/network.h"

namespace qm {
namespace {

// A listening socket on 127.0.0.1 with a port of the system's choice.
class LoopbackServer {
 public:
  LoopbackServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener_ == INVALID_SOCKET ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener: " << ::WSAGetLastError();
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() { Close(); }

  int Port() const { return port_; }
  // Accepts one connection (blocking).
  SOCKET Accept() { return ::accept(listener_, nullptr, nullptr); }
  void Close() {
    if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
};

class Win32NetworkTest : public ::testing::Test {
 protected:
  // The network starts Winsock for the process; the test's own server needs it first.
  void SetUp() override { (void)SystemNetwork(); }

  static std::unique_ptr<IConnection> ConnectTo(const std::string& host, int port) {
    const auto pending = SystemNetwork().Connect(host, port);
    EXPECT_TRUE(pending->Wait(-1));
    return pending->Take();
  }
  // The failure Take raises; none when the connect succeeds.
  static ESocketError FailureOf(const std::string& host, int port) {
    try {
      ConnectTo(host, port);
    } catch (const ESocketError& e) {
      return e;
    }
    ADD_FAILURE() << "connected to " << host << ":" << port;
    return ESocketError(-1, "");
  }
};

TEST_F(Win32NetworkTest, RoundTripWithALoopbackServer) {
  LoopbackServer server;
  std::string request;
  std::thread peer([&] {
    const SOCKET s = server.Accept();
    char buffer[64];
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got > 0) request.assign(buffer, static_cast<std::size_t>(got));
    ::send(s, "pong", 4, 0);
    ::shutdown(s, SD_SEND);
    ::recv(s, buffer, sizeof buffer, 0);  // until the client closes
    ::closesocket(s);
  });

  auto connection = ConnectTo("127.0.0.1", server.Port());
  EXPECT_EQ(connection->Send("ping", -1), 4u);
  std::string reply;
  char buffer[16];
  for (long got; (got = connection->Receive(buffer, sizeof buffer, -1)) > 0;) {
    reply.append(buffer, static_cast<std::size_t>(got));
  }
  EXPECT_EQ(reply, "pong");
  connection->Close();
  EXPECT_THROW(connection->Receive(buffer, sizeof buffer, 0), ESocketError);
  peer.join();
  EXPECT_EQ(request, "ping");
}

TEST_F(Win32NetworkTest, ReceiveWithoutDataTimesOut) {
  LoopbackServer server;
  SOCKET accepted = INVALID_SOCKET;
  std::thread peer([&] { accepted = server.Accept(); });
  auto connection = ConnectTo("127.0.0.1", server.Port());
  peer.join();
  char buffer[16];
  EXPECT_EQ(connection->Receive(buffer, sizeof buffer, 10), IConnection::kTimedOut);
  ::closesocket(accepted);
}

TEST_F(Win32NetworkTest, FailuresCarryTheWinsockCode) {
  LoopbackServer server;
  const int port = server.Port();
  server.Close();  // nothing listens there now
  EXPECT_EQ(FailureOf("127.0.0.1", port).Code(), WSAECONNREFUSED);
  // A name that cannot exist has no code: nothing failed but the name.
  const ESocketError unknown = FailureOf("course.invalid", 80);
  EXPECT_EQ(unknown.Code(), 0);
  EXPECT_NE(std::string(unknown.what()).find("course.invalid"), std::string::npos);
}

TEST_F(Win32NetworkTest, AbandonedConnectEndsByItself) {
  LoopbackServer server;
  { const auto pending = SystemNetwork().Connect("127.0.0.1", server.Port()); }
  // The background connect, done or not, leaves the listener usable.
  std::thread peer([&] { ::closesocket(server.Accept()); });
  auto connection = ConnectTo("127.0.0.1", server.Port());
  EXPECT_NE(connection, nullptr);
  server.Close();
  peer.join();
}

}  // namespace
}  // namespace qm
