#include "ui/open_dialog.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "text/chars.h"
#include "text/codepage.h"
#include "text/wildcard.h"

namespace qm {

namespace {

constexpr int kDefaultClientWidth = 450;
constexpr int kDefaultClientHeight = 290;

// The characters of `s` in the code page, each with A-Z lower-cased (the bytes of a
// double-byte character as well).
std::vector<std::string> FoldedChars(std::string_view s) {
  const text::Chars chars(s);
  std::vector<std::string> folded;
  folded.reserve(chars.Count());
  for (std::size_t i = 0; i < chars.Count(); ++i) folded.push_back(text::LowerAscii(chars.At(i)));
  return folded;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "name.*" also takes a name without any extension, as the system's file search does.
bool MatchesOneMask(const std::vector<std::string>& name, std::string_view mask) {
  return text::WildcardMatch(FoldedChars(mask), name, text::WildcardDots::kFilter);
}

bool IsFullPath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path.front())) return true;
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') return true;
#endif
  return false;
}

}  // namespace

TbsSkinOpenDialog::TbsSkinOpenDialog(IFileOpenDialogs& browser, IFileSystem& files,
                                     std::string app_dir)
    : browser_(browser), fs_(files), app_dir_(std::move(app_dir)) {
  Settings.DefaultFontName = text::A("宋体");
}

OpenDialogRequest TbsSkinOpenDialog::BuildRequest() {
  OpenDialogRequest request;
  request.title = Title;

  // The start folder: the folder part of FileName, else an existing InitialDir, else
  // AppDir; a folder that does not exist falls back to AppDir.
  std::string folder = ExtractFilePath(FileName);
  if (folder.empty() && !InitialDir.empty() && fs_.DirectoryExists(InitialDir)) {
    folder = InitialDir;
  }
  if (folder.empty() || !fs_.DirectoryExists(folder)) folder = app_dir_;
  request.folder = ToNativeSeparators(folder);
  request.file_name = ExtractFileName(FileName);

  request.filters = ParseFilter(Filter);
  request.filter_index = FilterIndex;
  if (!request.filters.empty()) {
    request.filter_index = std::clamp(FilterIndex, 1, static_cast<int>(request.filters.size()));
  }
  request.check_file_exists = CheckFileExists;
  request.multi_selection = MultiSelection;
  const bool sized = DialogWidth > 0 && DialogHeight > 0;
  request.client_width = sized ? DialogWidth : kDefaultClientWidth;
  request.client_height = sized ? DialogHeight : kDefaultClientHeight;
  request.min_width = std::max(DialogMinWidth, 0);
  request.min_height = std::max(DialogMinHeight, 0);
  request.view = view_;
  if (OnFolderChange) {
    request.on_folder_change = [this](const std::string&) {
      if (OnFolderChange) OnFolderChange();
    };
  }
  return request;
}

bool TbsSkinOpenDialog::ChooseFiles() {
  const OpenDialogResult result = browser_.ShowOpenDialog(BuildRequest());
  FilterIndex = result.filter_index;
  if (result.client_width > 0 && result.client_height > 0) {
    DialogWidth = result.client_width;
    DialogHeight = result.client_height;
  }
  view_ = result.view;
  if (!result.confirmed) return false;
  FileName = result.file_name;
  files_ = result.files;
  return true;
}

std::vector<FileFilter> ParseFilter(const std::string& filter) {
  std::vector<FileFilter> filters;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= filter.size() && !filter.empty()) {
    const std::size_t bar = filter.find('|', start);
    if (bar == std::string::npos) {
      parts.push_back(filter.substr(start));
      break;
    }
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    filters.push_back({parts[i], parts[i + 1]});
  }
  return filters;
}

bool MatchesMask(const std::string& name, const std::string& masks) {
  const std::vector<std::string> folded_name = FoldedChars(name);
  std::size_t start = 0;
  while (start <= masks.size()) {
    std::size_t end = masks.find(';', start);
    if (end == std::string::npos) end = masks.size();
    const std::string_view mask = Trim(std::string_view(masks).substr(start, end - start));
    if (!mask.empty() && MatchesOneMask(folded_name, mask)) return true;
    start = end + 1;
  }
  return false;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  if (IsFullPath(name) || folder.empty()) return ToNativeSeparators(name);
  std::string path = ToNativeSeparators(folder);
  if (!IsPathSeparator(path.back())) path += kPathSep;
  return path + ToNativeSeparators(name);
}

NameBoxCommand InterpretNameBox(const std::string& text, const std::string& shown_folder,
                                IFileSystem& fs) {
  NameBoxCommand command;
  if (text.find('*') != std::string::npos) {
    command.action = NameBoxCommand::kSetMask;
    return command;
  }
  const std::string native = ToNativeSeparators(text);
  if (native.find(kPathSep) != std::string::npos) {
    const std::string folder = JoinFolder(shown_folder, native);
    if (fs.DirectoryExists(folder)) {
      command.action = NameBoxCommand::kShowFolder;
      command.folder = folder;
      return command;
    }
  }
  command.action = NameBoxCommand::kConfirm;
  return command;
}

std::optional<BrowserChoice> ConfirmChoice(
    const BrowserState& state, bool check_file_exists,
    const std::function<bool(const std::string&)>& file_exists) {
  if (state.name_box.empty()) return std::nullopt;

  const BrowserEntry* selected_file = nullptr;
  if (state.current >= 0 && state.current < static_cast<int>(state.selected.size()) &&
      !state.selected[state.current].is_folder) {
    selected_file = &state.selected[state.current];
  }
  for (const BrowserEntry& entry : state.selected) {
    if (selected_file) break;
    if (!entry.is_folder) selected_file = &entry;
  }

  BrowserChoice choice;
  if (selected_file) {
    choice.file_name = JoinFolder(state.folder, selected_file->name);
    if (check_file_exists && !file_exists(choice.file_name)) return std::nullopt;
  } else {
    if (check_file_exists) return std::nullopt;
    choice.file_name = JoinFolder(state.folder, state.name_box);
  }
  for (const BrowserEntry& entry : state.selected) {
    if (!entry.is_folder) choice.files.push_back(JoinFolder(state.folder, entry.name));
  }
  return choice;
}

}  // namespace qm
