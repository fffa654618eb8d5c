#include "ui/skin.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "text/codepage.h"

namespace qm {

namespace {

constexpr std::string_view kMagic{"QMSKIN\x01\x00", 8};
constexpr std::string_view kDescription = "skin.ini";

std::string Lower(std::string_view s) {
  return text::LowerAscii(s);
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto comma = s.find(',');
    parts.push_back(Trim(s.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return parts;
}

[[noreturn]] void Bad(std::string_view what, std::string_view detail) {
  throw ESkinError("Skin: " + std::string(what) + ": " + std::string(detail));
}

int ParseInt(std::string_view text, std::string_view what) {
  text = Trim(text);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    Bad(what, "not a number: \"" + std::string(text) + "\"");
  }
  return value;
}

std::array<int, 4> ParseFour(std::string_view text, std::string_view what) {
  const auto parts = SplitCommas(text);
  if (parts.size() != 4) Bad(what, "four numbers expected");
  std::array<int, 4> out{};
  for (std::size_t i = 0; i < 4; ++i) out[i] = ParseInt(parts[i], what);
  return out;
}

std::uint32_t ReadLe(std::string_view data, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

void WriteLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::string Inflate(std::span<const unsigned char> data, std::size_t max_inflated) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw ESkinError("Skin: the inflater cannot start");
  std::string out;
  char buffer[16384];
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (out.size() > max_inflated) status = Z_MEM_ERROR;
    // No progress with input left over means the stream ended early.
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) status = Z_BUF_ERROR;
  }
  const bool trailing = status == Z_STREAM_END && stream.avail_in != 0;
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    Bad("stored data", status == Z_MEM_ERROR ? "too large" : "damaged or incomplete stream");
  }
  if (trailing) Bad("stored data", "bytes after the end of the stream");
  return out;
}

std::vector<SkinSection> ParseIni(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<SkinSection> sections;
  while (!text.empty()) {
    const auto eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      if (close == std::string_view::npos)
        Bad("skin.ini", "unclosed section \"" + std::string(line) + "\"");
      sections.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || sections.empty()) continue;  // not a key line
    sections.back().values[Lower(Trim(line.substr(0, eq)))] =
        std::string(Trim(line.substr(eq + 1)));
  }
  return sections;
}

}  // namespace

const std::string* SkinSection::Value(std::string_view key) const {
  const auto it = values.find(Lower(key));
  return it == values.end() ? nullptr : &it->second;
}

SkinRect ParseSkinRect(std::string_view text, std::string_view what) {
  const auto v = ParseFour(text, what);
  SkinRect rect{v[0], v[1], v[2], v[3]};
  if (rect.left < 0 || rect.top < 0 || rect.Empty()) Bad(what, "not a rectangle");
  return rect;
}

SkinMargins ParseSkinMargins(std::string_view text, std::string_view what) {
  const auto v = ParseFour(text, what);
  if (std::any_of(v.begin(), v.end(), [](int m) { return m < 0; })) Bad(what, "negative margin");
  return {v[0], v[1], v[2], v[3]};
}

std::uint32_t ParseSkinColor(std::string_view text, std::string_view what) {
  text = Trim(text);
  std::uint32_t value = 0;
  const bool shape = text.size() == 7 && text[0] == '#';
  const auto [end, ec] = shape ? std::from_chars(text.data() + 1, text.data() + 7, value, 16)
                               : std::from_chars_result{};
  if (!shape || ec != std::errc() || end != text.data() + 7) {
    Bad(what, "not a colour #rrggbb: \"" + std::string(text) + "\"");
  }
  return value;
}

SkinFont ParseSkinFont(std::string_view text, std::string_view what) {
  const auto parts = SplitCommas(text);
  if (parts.size() < 2 || parts.size() > 4 || parts[0].empty())
    Bad(what, "name,height[,style[,colour]]");
  SkinFont font;
  font.name = std::string(parts[0]);
  font.height = ParseInt(parts[1], what);
  if (font.height <= 0) Bad(what, "font height must be positive");
  if (parts.size() > 2) {
    const std::string style = Lower(parts[2]);
    if (style == "bold") {
      font.bold = true;
    } else if (style == "italic") {
      font.italic = true;
    } else if (style == "bolditalic") {
      font.bold = font.italic = true;
    } else if (style != "regular") {
      Bad(what, "unknown font style \"" + style + "\"");
    }
  }
  if (parts.size() > 3) font.color = ParseSkinColor(parts[3], what);
  return font;
}

Skin Skin::FromCompressed(std::span<const unsigned char> data, std::size_t max_inflated) {
  return FromArchive(Inflate(data, max_inflated));
}

Skin Skin::FromArchive(std::string_view archive) {
  if (!archive.starts_with(kMagic)) Bad("archive", "not a skin archive");
  std::size_t at = kMagic.size();
  auto need = [&](std::size_t bytes) {
    if (archive.size() - at < bytes) Bad("archive", "truncated");
  };
  need(4);
  const std::uint32_t count = ReadLe(archive, at, 4);
  at += 4;
  std::map<std::string, std::string> files;
  for (std::uint32_t i = 0; i < count; ++i) {
    need(2);
    const std::size_t name_size = ReadLe(archive, at, 2);
    at += 2;
    need(name_size);
    std::string name(archive.substr(at, name_size));
    at += name_size;
    need(4);
    const std::size_t size = ReadLe(archive, at, 4);
    at += 4;
    need(size);
    if (name.empty()) Bad("archive", "a file without a name");
    files[std::move(name)] = std::string(archive.substr(at, size));
    at += size;
  }
  if (at != archive.size()) Bad("archive", "bytes after the last file");
  return FromFiles(std::move(files));
}

Skin Skin::FromFiles(std::map<std::string, std::string> files) {
  Skin skin;
  for (auto& [name, data] : files) skin.files_[Lower(name)] = std::move(data);
  skin.Parse();
  return skin;
}

const std::string* Skin::File(std::string_view name) const {
  const auto it = files_.find(Lower(name));
  return it == files_.end() ? nullptr : &it->second;
}

const SkinSection* Skin::Section(std::string_view name) const {
  const std::string key = Lower(name);
  // The last of equally named sections counts, as its keys would override.
  for (auto it = sections_.rbegin(); it != sections_.rend(); ++it) {
    if (Lower(it->name) == key) return &*it;
  }
  return nullptr;
}

const SkinElement* Skin::Element(std::string_view name) const {
  const std::string key = Lower(name);
  for (const SkinElement& element : elements_) {
    if (Lower(element.name) == key) return &element;
  }
  return nullptr;
}

const SkinElement* Skin::PushButton(std::string_view name) const {
  const SkinElement* element = Element(name);
  return element && element->type == "button" ? element : nullptr;
}

std::optional<std::uint32_t> Skin::Color(std::string_view role) const {
  const SkinSection* colors = Section("colors");
  const std::string* value = colors ? colors->Value(role) : nullptr;
  if (!value) return std::nullopt;
  return ParseSkinColor(*value, "colors." + std::string(role));
}

void Skin::Parse() {
  const std::string* ini = File(kDescription);
  if (!ini) Bad("archive", "no skin.ini");
  sections_ = ParseIni(*ini);

  const SkinSection* pictures = Section("pictures");
  // A picture key names an entry of [pictures], whose file must be in the skin.
  auto picture_file = [&](const SkinSection& section, std::string_view what) -> std::string {
    const std::string* picture = section.Value("picture");
    if (!picture) return {};
    const std::string* file = pictures ? pictures->Value(*picture) : nullptr;
    if (!file) Bad(what, "unknown picture \"" + *picture + "\"");
    if (!File(*file)) Bad(what, "picture file \"" + *file + "\" missing");
    return *file;
  };

  if (const SkinSection* info = Section("skin")) {
    if (const std::string* name = info->Value("name")) name_ = *name;
  }
  if (const SkinSection* colors = Section("colors")) {
    for (const auto& [role, value] : colors->values) ParseSkinColor(value, "colors." + role);
  }

  frame_.caption_font = {"宋体", 14, true, false, 0xffffff};
  frame_.menu_font = {"宋体", 14, false, false, 0x000000};
  if (const SkinSection* frame = Section("frame")) {
    frame_.picture_file = picture_file(*frame, "frame");
    if (const std::string* v = frame->Value("rect")) frame_.rect = ParseSkinRect(*v, "frame.rect");
    if (!frame_.picture_file.empty() && frame_.rect.Empty()) Bad("frame", "a picture without rect");
    if (const std::string* v = frame->Value("margins"))
      frame_.margins = ParseSkinMargins(*v, "frame.margins");
    if (const std::string* v = frame->Value("captionheight"))
      frame_.caption_height = ParseInt(*v, "frame.captionheight");
    if (const std::string* v = frame->Value("borderwidth"))
      frame_.border_width = ParseInt(*v, "frame.borderwidth");
    if (const std::string* v = frame->Value("bordercolor"))
      frame_.border_color = ParseSkinColor(*v, "frame.bordercolor");
    if (const std::string* v = frame->Value("minwidth"))
      frame_.min_width = ParseInt(*v, "frame.minwidth");
    if (const std::string* v = frame->Value("maxwidth"))
      frame_.max_width = ParseInt(*v, "frame.maxwidth");
    if (const std::string* v = frame->Value("captionfont"))
      frame_.caption_font = ParseSkinFont(*v, "frame.captionfont");
    if (const std::string* v = frame->Value("menufont"))
      frame_.menu_font = ParseSkinFont(*v, "frame.menufont");
    if (frame_.caption_height < 0 || frame_.border_width < 0 || frame_.min_width < 0 ||
        frame_.max_width < 0) {
      Bad("frame", "negative size");
    }
  }

  for (const SkinSection& section : sections_) {
    const std::string* type = section.Value("type");
    if (!type) continue;
    // A later section of the same name replaces an earlier one.
    std::erase_if(elements_,
                  [&](const SkinElement& e) { return Lower(e.name) == Lower(section.name); });
    SkinElement element;
    element.name = section.name;
    element.type = Lower(*type);
    element.keys = section;
    element.picture_file = picture_file(section, section.name);
    if (const std::string* v = section.Value("rect"))
      element.rect = ParseSkinRect(*v, section.name + ".rect");
    if (!element.picture_file.empty() && element.rect.Empty())
      Bad(section.name, "a picture without rect");
    if (const std::string* v = section.Value("margins"))
      element.margins = ParseSkinMargins(*v, section.name + ".margins");
    if (const std::string* v = section.Value("frames")) {
      element.frames = ParseInt(*v, section.name + ".frames");
      if (element.frames < 1) Bad(section.name, "frames must be at least 1");
    }
    if (const std::string* v = section.Value("font"))
      element.font = ParseSkinFont(*v, section.name + ".font");
    elements_.push_back(std::move(element));
  }
}

std::string PackSkinArchive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out(kMagic);
  WriteLe(out, static_cast<std::uint32_t>(files.size()), 4);
  for (const auto& [name, data] : files) {
    if (name.empty() || name.size() > 0xffff || data.size() > 0xffffffffu) {
      throw ESkinError("Skin: cannot store the file \"" + name + "\"");
    }
    WriteLe(out, static_cast<std::uint32_t>(name.size()), 2);
    out += name;
    WriteLe(out, static_cast<std::uint32_t>(data.size()), 4);
    out += data;
  }
  return out;
}

std::string CompressSkin(std::string_view archive) {
  uLongf size = compressBound(static_cast<uLong>(archive.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(archive.data()), static_cast<uLong>(archive.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw ESkinError("Skin: compression failed");
  }
  out.resize(size);
  return out;
}

}  // namespace qm
