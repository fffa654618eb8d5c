#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace qm::testing {

namespace {

// A port on loopback that is free at this moment.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

NginxServer::NginxServer(const std::filesystem::path& root, std::chrono::seconds limit) {
  std::random_device random;
  prefix_ = std::filesystem::temp_directory_path() /
            ("qm-nginx-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(prefix_ / "tmp");
  for (int attempt = 0; attempt < 5 && !Running(); ++attempt) {
    if (!Start(root, limit)) Stop();
  }
}

NginxServer::~NginxServer() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(prefix_, ec);
}

std::string NginxServer::ErrorLog() const {
  std::ifstream in(prefix_ / "error.log");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool NginxServer::Start(const std::filesystem::path& root, std::chrono::seconds limit) {
  port_ = FreePort();
  if (port_ == 0) return false;
  const std::string p = prefix_.string();
  std::ofstream(prefix_ / "nginx.conf") << "daemon off;\n"
                                           "master_process off;\n"
                                           "worker_processes 1;\n"
                                           "pid "
                                        << p
                                        << "/nginx.pid;\n"
                                           "error_log "
                                        << p
                                        << "/error.log warn;\n"
                                           "events { worker_connections 64; }\n"
                                           "http {\n"
                                           "  access_log off;\n"
                                           "  client_body_temp_path "
                                        << p
                                        << "/tmp/body;\n"
                                           "  proxy_temp_path "
                                        << p
                                        << "/tmp/proxy;\n"
                                           "  fastcgi_temp_path "
                                        << p
                                        << "/tmp/fastcgi;\n"
                                           "  uwsgi_temp_path "
                                        << p
                                        << "/tmp/uwsgi;\n"
                                           "  scgi_temp_path "
                                        << p
                                        << "/tmp/scgi;\n"
                                           "  default_type application/octet-stream;\n"
                                           "  sendfile on;\n"
                                           "  tcp_nopush on;\n"
                                           "  server {\n"
                                           "    listen 127.0.0.1:"
                                        << port_
                                        << ";\n"
                                           "    root "
                                        << root.string()
                                        << ";\n"
                                           "    index index.html;\n"
                                           "  }\n"
                                           "}\n";

  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::string seconds = std::to_string(limit.count());
    const std::string conf = p + "/nginx.conf";
    const std::string log = p + "/error.log";
    ::execlp("timeout", "timeout", "-s", "TERM", seconds.c_str(), kBinary, "-p", p.c_str(), "-c",
             conf.c_str(), "-e", log.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = pid;
  for (int i = 0; i < 500; ++i) {  // up to about 5 s
    if (Accepts(port_)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // it ended: the port was taken
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void NginxServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace qm::testing
