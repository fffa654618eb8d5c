// The table of the movie's names: each name once per channel, matched exactly.
#include "bridge/command_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qm::bridge {
namespace {

TEST(CommandTableTest, ChannelsKeepTheirOwnNamesAndMatchExactly) {
  CommandTable table;
  std::string heard;
  table.AddCommand("audio", [&](const std::string& argument) { heard = argument; });
  table.AddRequest("loadfile", [](const Request&, const CommandTable::Reply&) {});
  // The same name on the other channel is another command.
  table.AddRequest("audio", [](const Request&, const CommandTable::Reply&) {});

  ASSERT_NE(table.FindCommand("audio"), nullptr);
  (*table.FindCommand("audio"))("a.mp3");
  EXPECT_EQ(heard, "a.mp3");
  EXPECT_NE(table.FindRequest("loadfile"), nullptr);
  EXPECT_EQ(table.FindCommand("loadfile"), nullptr);
  for (const char* other : {"Audio", "audio ", "", "loadFile"}) {
    EXPECT_EQ(table.FindCommand(other), nullptr) << other;
    EXPECT_EQ(table.FindRequest(other), nullptr) << other;
  }
}

TEST(CommandTableTest, ANameHandledTwiceIsRefused) {
  CommandTable table;
  table.AddCommand("exec", [](const std::string&) {});
  EXPECT_THROW(table.AddCommand("exec", [](const std::string&) {}), std::logic_error);
  table.AddRequest("savefile", [](const Request&, const CommandTable::Reply&) {});
  EXPECT_THROW(table.AddRequest("savefile", [](const Request&, const CommandTable::Reply&) {}),
               std::logic_error);
}

}  // namespace
}  // namespace qm::bridge
