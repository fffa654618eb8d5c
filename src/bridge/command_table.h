// The names a movie calls the shell by, on its two channels: ExternalInterface requests,
// which may set a reply, and fscommands, which never get one. Each feature adds its own
// names; the main window looks them up and runs them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace qm::bridge {

class Request;

class CommandTable {
 public:
  // Sets the request's reply, in the code page; called at most once per request.
  using Reply = std::function<void(std::string_view)>;
  using RequestHandler = std::function<void(const Request&, const Reply&)>;
  // An fscommand's handler, with the command's argument in the code page.
  using CommandHandler = std::function<void(const std::string& argument)>;

  // A name is added once per channel; adding it again is a programming error.
  void AddRequest(std::string name, RequestHandler handler);
  void AddCommand(std::string name, CommandHandler handler);

  // Names match exactly, letter case counting; nullptr for any other name.
  const RequestHandler* FindRequest(std::string_view name) const;
  const CommandHandler* FindCommand(std::string_view name) const;

 private:
  std::map<std::string, RequestHandler, std::less<>> requests_;
  std::map<std::string, CommandHandler, std::less<>> commands_;
};

}  // namespace qm::bridge
