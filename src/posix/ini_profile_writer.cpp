#include "posix/ini_profile_writer.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "text/codepage.h"

namespace qm {

namespace {

std::string Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  const std::size_t last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

bool SameName(std::string_view a, std::string_view b) {
  return text::LowerAscii(a) == text::LowerAscii(b);
}

}  // namespace

std::string IniProfileWriter::DefaultFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
    return std::string(config) + "/quillmere";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.config/quillmere";
  }
  return "";
}

bool IniProfileWriter::WritePrivateProfileString(const std::string& section, const std::string& key,
                                                 const std::string& value,
                                                 const std::string& file) noexcept {
  try {
    namespace fs = std::filesystem;
    std::string name = text::Ansi().ToUtf8(file);
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
    if (name.empty() || section.empty() || key.empty()) return false;
    fs::path path;
    if (name.find('/') == std::string::npos) {
      if (folder_.empty()) return false;
      fs::create_directories(folder_);
      path = fs::path(folder_) / name;
    } else {
      path = name;
    }

    // The lines of the file, without their line ends.
    std::vector<std::string> lines;
    if (std::ifstream in(path, std::ios::binary); in) {
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
      }
    }

    const std::string entry = key + "=" + value;
    std::size_t insert_at = lines.size();
    bool in_section = false;
    bool found_section = false;
    bool done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
      const std::string line = Trim(lines[i]);
      if (!line.empty() && line.front() == '[') {
        if (in_section) break;  // the section ended without the key
        const std::size_t close = line.find(']');
        in_section =
            close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), section);
        if (in_section) {
          found_section = true;
          insert_at = i + 1;
        }
        continue;
      }
      if (!in_section) continue;
      if (!line.empty()) insert_at = i + 1;
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos && SameName(Trim(line.substr(0, eq)), key)) {
        lines[i] = entry;
        done = true;
      }
    }
    if (!done) {
      if (found_section) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
      } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
      }
    }

    std::string content;
    for (const auto& line : lines) content += line + "\r\n";
    // Written beside the file and renamed over it: the old file stays whole on failure.
    const fs::path temp =
        path.parent_path() / ("." + path.filename().string() + ".~" + std::to_string(::getpid()));
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out << content;
      out.close();
      if (!out) {
        std::error_code ec;
        fs::remove(temp, ec);
        return false;
      }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
      fs::remove(temp, ec);
      return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
