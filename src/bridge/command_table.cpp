#include "bridge/command_table.h"

#include <stdexcept>

namespace qm::bridge {

namespace {

template <typename Map, typename Handler>
void Add(Map& map, std::string name, Handler handler) {
  const std::string copy = name;
  if (!map.emplace(std::move(name), std::move(handler)).second) {
    throw std::logic_error("The command \"" + copy + "\" is handled twice");
  }
}

template <typename Map>
const typename Map::mapped_type* Find(const Map& map, std::string_view name) {
  const auto found = map.find(name);
  return found == map.end() ? nullptr : &found->second;
}

}  // namespace

void CommandTable::AddRequest(std::string name, RequestHandler handler) {
  Add(requests_, std::move(name), std::move(handler));
}

void CommandTable::AddCommand(std::string name, CommandHandler handler) {
  Add(commands_, std::move(name), std::move(handler));
}

const CommandTable::RequestHandler* CommandTable::FindRequest(std::string_view name) const {
  return Find(requests_, name);
}

const CommandTable::CommandHandler* CommandTable::FindCommand(std::string_view name) const {
  return Find(commands_, name);
}

}  // namespace qm::bridge
