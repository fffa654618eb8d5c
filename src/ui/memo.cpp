#include "ui/memo.h"

namespace qm {

std::string TMemo::BoxText(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      text += "\r\n";
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text += c;
    }
  }
  return text;
}

void TMemo::LoadFromFile(IFileSystem& files, std::string_view path) {
  text_ = BoxText(files.ReadBinaryFile(path));
}

}  // namespace qm
