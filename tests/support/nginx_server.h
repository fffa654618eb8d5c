// nginx from Debian, serving a folder on 127.0.0.1 for the end-to-end tests and the
// download benchmark. It runs under "timeout", so it stops by itself after `limit` even
// when the process that started it is killed; it also ends with that process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace qm::testing {

class NginxServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/nginx";

  // Starts nginx on a free port serving `root`; Running() tells whether it came up.
  explicit NginxServer(const std::filesystem::path& root,
                       std::chrono::seconds limit = std::chrono::seconds(300));
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // nginx's error log, for failure messages.
  std::string ErrorLog() const;

 private:
  bool Start(const std::filesystem::path& root, std::chrono::seconds limit);
  void Stop();

  std::filesystem::path prefix_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qm::testing
