// The embedded skin: what every window and dialog of the shell looks like.
//
// A stored skin is a zlib stream. Inflated it is a small archive of files: "skin.ini",
// an INI-style description (UTF-8), and the pictures it names. The description has the
// sections [skin], [pictures] (picture name = file name), [colors] (role = #rrggbb),
// [frame] (the window frame and caption) and one section per element: a section with a
// "type" key ("button", "label", "edit", "gauge", ...) whose name is the element's name
// ("button", "stdlabel", ...). Names of sections and keys compare without regard to the
// case of A-Z. Nothing here draws; the toolkit adapter paints from what this reads.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/errors.h"

namespace qm {

// A stored skin that cannot be read: a damaged stream, a broken archive, a description
// that names a picture the archive lacks or holds a value that is not what its key needs.
class ESkinError : public Exception {
 public:
  using Exception::Exception;
};

struct SkinRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return Width() <= 0 || Height() <= 0; }
  friend bool operator==(const SkinRect&, const SkinRect&) = default;
};

struct SkinMargins {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const SkinMargins&, const SkinMargins&) = default;
};

struct SkinFont {
  std::string name;  // UTF-8
  int height = 0;    // pixels
  bool bold = false;
  bool italic = false;
  std::uint32_t color = 0;  // 0xRRGGBB
  friend bool operator==(const SkinFont&, const SkinFont&) = default;
};

// One section of the description; keys are stored lower-cased.
struct SkinSection {
  std::string name;  // as written
  std::map<std::string, std::string> values;
  const std::string* Value(std::string_view key) const;
};

struct SkinElement {
  std::string name;          // as written in the description
  std::string type;          // lower-cased
  std::string picture_file;  // the file of its picture; empty when it has none
  SkinRect rect;             // the picture rectangle (empty without a picture)
  SkinMargins margins;
  int frames = 1;  // states drawn side by side in the picture, each rect-wide
  std::optional<SkinFont> font;
  SkinSection keys;  // every key of the element's section
};

struct SkinFrameLook {
  std::string picture_file;  // the caption strip; empty when the caption is a plain colour
  SkinRect rect;
  SkinMargins margins;
  int caption_height = 22;
  int border_width = 3;
  std::uint32_t border_color = 0x000080;
  int min_width = 0;  // outer width no skinned window gets below
  int max_width = 0;  // 0: none
  SkinFont caption_font;
  SkinFont menu_font;
};

class Skin {
 public:
  // A stream that inflates beyond this is taken as damage (one that inflates without
  // end), not as a skin.
  static constexpr std::size_t kMaxInflated = 32u << 20;

  // Reads a stored skin (the zlib stream). Throws ESkinError when it is damaged.
  static Skin FromCompressed(std::span<const unsigned char> data,
                             std::size_t max_inflated = kMaxInflated);
  // Reads an inflated archive.
  static Skin FromArchive(std::string_view archive);
  // Reads a skin from its files by name; "skin.ini" must be among them.
  static Skin FromFiles(std::map<std::string, std::string> files);

  // The element of that name (any letter case), or null.
  const SkinElement* Element(std::string_view name) const;
  // The element of that name when it is a push button, or null.
  const SkinElement* PushButton(std::string_view name) const;
  // The bytes of a file of the skin, or null.
  const std::string* File(std::string_view name) const;
  // A colour of [colors] (0xRRGGBB), when the skin gives it.
  std::optional<std::uint32_t> Color(std::string_view role) const;
  const SkinSection* Section(std::string_view name) const;
  const SkinFrameLook& Frame() const { return frame_; }
  const std::string& Name() const { return name_; }
  const std::vector<SkinElement>& Elements() const { return elements_; }

 private:
  Skin() = default;
  void Parse();

  std::map<std::string, std::string> files_;  // by lower-cased name
  std::vector<SkinSection> sections_;
  std::vector<SkinElement> elements_;
  SkinFrameLook frame_;
  std::string name_;
};

// The archive of a stored skin: "QMSKIN\x01\x00", a 32-bit little-endian count, then per
// file a 16-bit name length, the name, a 32-bit data length and the data.
std::string PackSkinArchive(const std::vector<std::pair<std::string, std::string>>& files);
// The stored skin of an archive (zlib, best compression).
std::string CompressSkin(std::string_view archive);

// Value readers of the description; each throws ESkinError naming `what` when the text
// does not hold what it should.
SkinRect ParseSkinRect(std::string_view text, std::string_view what);
SkinMargins ParseSkinMargins(std::string_view text, std::string_view what);
SkinFont ParseSkinFont(std::string_view text, std::string_view what);
std::uint32_t ParseSkinColor(std::string_view text, std::string_view what);

}  // namespace qm
