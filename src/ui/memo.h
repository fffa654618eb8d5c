// TMemo: a multi-line text box. The main window keeps one, never shown, to read a text
// file the way such a box holds it.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace qm {

class TMemo {
 public:
  bool ReadOnly = true;
  bool Visible = false;

  void Clear() { text_.clear(); }
  // Replaces the text with the file's content (read as text in the ANSI code page).
  void LoadFromFile(IFileSystem& files, std::string_view path);
  const std::string& Text() const { return text_; }

  // Bytes as the box holds them: the text ends before the first NUL, and every line
  // break (CR LF, a lone LF, a lone CR) becomes CR LF.
  static std::string BoxText(std::string_view bytes);

 private:
  std::string text_;
};

}  // namespace qm
