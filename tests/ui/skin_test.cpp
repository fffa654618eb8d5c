// The stored skin: the embedded one the program ships, skins packed here, and damaged
// streams, archives and descriptions, which must fail with ESkinError and nothing worse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/skin.h"
#include "ui/skin_data.h"

namespace qm {
namespace {

std::span<const unsigned char> Bytes(const std::string& s) {
  return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

std::string Stored(const std::string& ini,
                   std::vector<std::pair<std::string, std::string>> more = {}) {
  more.insert(more.begin(), {"skin.ini", ini});
  return CompressSkin(PackSkinArchive(more));
}

Skin Read(const std::string& ini, std::vector<std::pair<std::string, std::string>> more = {}) {
  const std::string stored = Stored(ini, std::move(more));
  return Skin::FromCompressed(Bytes(stored));
}

TEST(EmbeddedSkin, DefinesTheElementsTheDialogsName) {
  const Skin skin = Skin::FromCompressed(EmbeddedSkinData());
  const struct {
    const char* name;
    const char* type;
  } expected[] = {
      {"button", "button"}, {"stdlabel", "label"}, {"edit", "edit"}, {"gauge", "gauge"}};
  for (const auto& e : expected) {
    const SkinElement* element = skin.Element(e.name);
    ASSERT_NE(element, nullptr) << e.name;
    EXPECT_EQ(element->type, e.type) << e.name;
    if (!element->picture_file.empty()) {
      EXPECT_NE(skin.File(element->picture_file), nullptr) << e.name;
      EXPECT_FALSE(element->rect.Empty()) << e.name;
    }
  }
  // The push button's picture height is the message dialog's button height.
  const SkinElement* button = skin.PushButton("button");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->rect.Height(), 24);
  EXPECT_EQ(skin.PushButton("stdlabel"), nullptr);
  EXPECT_EQ(skin.Element("BUTTON"), button);

  const SkinFrameLook& frame = skin.Frame();
  EXPECT_EQ(frame.caption_font, (SkinFont{"宋体", 14, true, false, 0xffffff}));
  EXPECT_EQ(frame.menu_font.name, "宋体");
  EXPECT_GT(frame.min_width, 0);
  EXPECT_NE(skin.File(frame.picture_file), nullptr);
  EXPECT_TRUE(skin.Color("window").has_value());
}

TEST(StoredSkin, ReadsWhatWasPacked) {
  const Skin skin = Read(
      "\xEF\xBB\xBF; a comment\r\n"
      "[Skin]\r\nName = Test skin\r\n"
      "[pictures]\nbtn=b.xpm\n"
      "[colors]\nWindow=#102030\n"
      "[frame]\ncaptionheight=30\nborderwidth=2\nminwidth=200\ncaptionfont=Arial,16,bolditalic,#"
      "ff0000\n"
      "[Button]\ntype=Button\npicture=btn\nrect=0,0,50,21\nframes=4\nmargins=1,2,3,4\n"
      "font=Arial,12\n"
      "# keys outside a known form are kept\nextra = 7 \n"
      "[stdlabel]\ntype=label\n"
      "[stdlabel]\ntype=label\nfont=Serif,9,italic,#00ff00\n",
      {{"b.xpm", "picture bytes"}});
  EXPECT_EQ(skin.Name(), "Test skin");
  EXPECT_EQ(skin.Color("WINDOW"), 0x102030u);
  EXPECT_FALSE(skin.Color("highlight").has_value());
  EXPECT_EQ(skin.Frame().caption_height, 30);
  EXPECT_EQ(skin.Frame().border_width, 2);
  EXPECT_EQ(skin.Frame().min_width, 200);
  EXPECT_EQ(skin.Frame().caption_font, (SkinFont{"Arial", 16, true, true, 0xff0000}));

  const SkinElement* button = skin.PushButton("button");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->picture_file, "b.xpm");
  EXPECT_EQ(*skin.File("B.XPM"), "picture bytes");
  EXPECT_EQ(button->rect, (SkinRect{0, 0, 50, 21}));
  EXPECT_EQ(button->frames, 4);
  EXPECT_EQ(button->margins, (SkinMargins{1, 2, 3, 4}));
  EXPECT_EQ(button->font, (SkinFont{"Arial", 12, false, false, 0}));
  ASSERT_NE(button->keys.Value("Extra"), nullptr);
  EXPECT_EQ(*button->keys.Value("extra"), "7");

  // The later of two equally named sections replaces the earlier.
  const SkinElement* label = skin.Element("stdlabel");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->font, (SkinFont{"Serif", 9, false, true, 0x00ff00}));
  EXPECT_EQ(skin.Elements().size(), 2u);
}

TEST(StoredSkin, ASkinWithoutFrameOrButtonKeepsDefaults) {
  const Skin skin = Read("[edit]\ntype=edit\n");
  EXPECT_EQ(skin.PushButton("button"), nullptr);
  EXPECT_EQ(skin.Frame().caption_font.name, "宋体");
  EXPECT_EQ(skin.Frame().min_width, 0);
  EXPECT_NE(skin.Element("edit"), nullptr);
}

TEST(StoredSkin, DamagedStreamsAreRejected) {
  const std::string good(reinterpret_cast<const char*>(EmbeddedSkinData().data()),
                         EmbeddedSkinData().size());
  ASSERT_NO_THROW(Skin::FromCompressed(Bytes(good)));

  EXPECT_THROW(Skin::FromCompressed({}), ESkinError);
  for (std::size_t cut :
       {std::size_t{1}, std::size_t{2}, good.size() / 2, good.size() - 4, good.size() - 1}) {
    EXPECT_THROW(Skin::FromCompressed(Bytes(good.substr(0, cut))), ESkinError) << "cut at " << cut;
  }
  // A changed byte inside the data: the stream or its checksum no longer holds.
  for (std::size_t at : {good.size() / 3, good.size() / 2, good.size() - 2}) {
    std::string damaged = good;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
    EXPECT_THROW(Skin::FromCompressed(Bytes(damaged)), ESkinError) << "byte " << at;
  }
  EXPECT_THROW(Skin::FromCompressed(Bytes(good + "x")), ESkinError);
  EXPECT_THROW(Skin::FromCompressed(Bytes(std::string("not a zlib stream at all"))), ESkinError);

  // A stream that inflates beyond the limit is refused, not held in memory.
  const std::string zeros(2u << 20, '\0');
  const std::string bomb = CompressSkin(zeros);
  EXPECT_LT(bomb.size(), 4096u);
  auto error_of = [&](std::size_t limit) -> std::string {
    try {
      Skin::FromCompressed(Bytes(bomb), limit);
    } catch (const ESkinError& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_NE(error_of(1u << 20).find("too large"), std::string::npos);
  EXPECT_NE(error_of(zeros.size() - 1).find("too large"), std::string::npos);
  EXPECT_NE(error_of(zeros.size()).find("not a skin archive"), std::string::npos);
}

TEST(StoredSkin, DamagedArchivesAreRejected) {
  const std::string archive =
      PackSkinArchive({{"skin.ini", "[edit]\ntype=edit\n"}, {"a.xpm", "xyz"}});
  ASSERT_NO_THROW(Skin::FromArchive(archive));
  // Every proper prefix is a truncated archive.
  for (std::size_t cut = 0; cut < archive.size(); ++cut) {
    EXPECT_THROW(Skin::FromArchive(archive.substr(0, cut)), ESkinError) << "cut at " << cut;
  }
  EXPECT_THROW(Skin::FromArchive(archive + "!"), ESkinError);
  std::string wrong_magic = archive;
  wrong_magic[0] = 'X';
  EXPECT_THROW(Skin::FromArchive(wrong_magic), ESkinError);
  // A count that promises more files than there are.
  std::string more = archive;
  more[8] = 3;
  EXPECT_THROW(Skin::FromArchive(more), ESkinError);
  // A length running past the end: 0xffffffff for the first file's data.
  std::string huge = archive;
  const std::size_t length_at = 8 + 4 + 2 + std::string("skin.ini").size();
  for (int i = 0; i < 4; ++i) huge[length_at + static_cast<std::size_t>(i)] = '\xff';
  EXPECT_THROW(Skin::FromArchive(huge), ESkinError);
  EXPECT_THROW(Skin::FromArchive(PackSkinArchive({{"other.ini", "[x]\n"}})), ESkinError);
  // A file without a name.
  const std::string unnamed = std::string("QMSKIN\x01\x00", 8) + std::string("\x01\0\0\0", 4) +
                              std::string("\0\0", 2) + std::string("\x01\0\0\0", 4) + "x";
  EXPECT_THROW(Skin::FromArchive(unnamed), ESkinError);
}

TEST(StoredSkin, BadDescriptionsNameWhatIsWrong) {
  const struct {
    const char* ini;
    const char* mentions;
  } cases[] = {
      {"[button]\ntype=button\nrect=0,0,10\n", "button.rect"},
      {"[button]\ntype=button\nrect=0,0,10,x\n", "button.rect"},
      {"[button]\ntype=button\nrect=5,5,5,9\n", "button.rect"},
      {"[button]\ntype=button\nmargins=1,-1,1,1\n", "button.margins"},
      {"[button]\ntype=button\nframes=0\n", "button"},
      {"[button]\ntype=button\nfont=Arial\n", "button.font"},
      {"[button]\ntype=button\nfont=Arial,0\n", "button.font"},
      {"[button]\ntype=button\nfont=Arial,12,heavy\n", "button.font"},
      {"[button]\ntype=button\nfont=Arial,12,bold,red\n", "button.font"},
      {"[button]\ntype=button\npicture=nothing\nrect=0,0,1,1\n", "unknown picture"},
      {"[pictures]\np=missing.xpm\n[button]\ntype=button\npicture=p\nrect=0,0,1,1\n",
       "missing.xpm"},
      {"[pictures]\np=skin.ini\n[button]\ntype=button\npicture=p\n", "without rect"},
      {"[colors]\nwindow=#12345\n", "colors.window"},
      {"[frame]\nborderwidth=-3\n", "frame"},
      {"[frame\nx=1\n", "unclosed section"},
  };
  for (const auto& c : cases) {
    try {
      Read(c.ini);
      ADD_FAILURE() << "accepted: " << c.ini;
    } catch (const ESkinError& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos)
          << e.what() << " for " << c.ini;
    }
  }
}

}  // namespace
}  // namespace qm
