#include "posix/learner_layer.h"

#include "platform/host_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "posix/path_resolution.h"

namespace qm {

namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// FNV-1a: the same course folder gives the same layer in every run and every build.
std::uint32_t NameHash(const std::string& text) {
  std::uint32_t h = 2166136261u;
  for (const unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

std::optional<LearnerLayer>& Layer() {
  static std::optional<LearnerLayer> layer;
  return layer;
}

// The layer's own folder, made (for this user only) when missing.
void MakeLayerFolder(const LearnerLayer& layer) {
  if (IsDirectory(layer.layer)) return;
  std::error_code error;
  std::filesystem::create_directories(
      std::filesystem::path(WithoutSlash(layer.layer)).parent_path(), error);
  ::mkdir(WithoutSlash(layer.layer).c_str(), 0700);
}

}  // namespace

std::string LearnerLayerFolder(const std::string& course_folder, const std::string& data_home) {
  const std::string course = WithoutSlash(course_folder);
  std::string name = course.substr(course.rfind('/') + 1);
  if (name.empty() || name == "." || name == "..") name = "course";
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(NameHash(course)));
  return WithSlash(WithSlash(data_home) + "quillmere/courses/" + name + "-" + hash);
}

bool FolderWritable(const std::string& folder) {
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::optional<LearnerLayer> LayerForCourse(const std::string& course_folder,
                                           const std::string& data_home, bool always) {
  if (data_home.empty() || (!always && FolderWritable(course_folder))) return std::nullopt;
  return LearnerLayer{WithSlash(course_folder), LearnerLayerFolder(course_folder, data_home)};
}

void UseLearnerLayer(std::optional<LearnerLayer> layer) {
  Layer() = std::move(layer);
}

const std::optional<LearnerLayer>& ProcessLearnerLayer() {
  return Layer();
}

std::optional<LearnerLayer> LayerFromEnvironment() {
  const char* course = std::getenv(kLayerCourseVariable);
  const char* folder = std::getenv(kLayerFolderVariable);
  if (course == nullptr || folder == nullptr || course[0] != '/' || folder[0] != '/') {
    return std::nullopt;
  }
  return LearnerLayer{WithSlash(course), WithSlash(folder)};
}

std::optional<std::string> PathInCourse(const LearnerLayer& layer, const std::string& path) {
  std::string_view rest;
  if (path.compare(0, layer.course.size(), layer.course) == 0) {
    rest = std::string_view(path).substr(layer.course.size());
  } else if (path + "/" != layer.course) {
    return std::nullopt;
  }
  std::vector<std::string_view> parts;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;  // out of the course
      parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string relative;
  for (const std::string_view part : parts) {
    if (!relative.empty()) relative += '/';
    relative += part;
  }
  return relative;
}

std::string FindForReading(const std::optional<LearnerLayer>& layer, const std::string& path) {
  if (layer && !path.empty()) {
    if (const auto relative = PathInCourse(*layer, path); relative && !relative->empty()) {
      std::string mine = ResolveDiskPath(layer->layer + *relative);
      if (EntryExists(mine)) {
        if (path.back() == '/') mine = WithSlash(mine);
        return mine;
      }
    }
  }
  return ResolveDiskPath(path);
}

std::string PlaceForWriting(const std::optional<LearnerLayer>& layer, const std::string& path) {
  const auto relative = layer && !path.empty() ? PathInCourse(*layer, path) : std::nullopt;
  if (!relative) return ResolveDiskPath(path);
  if (relative->empty()) return layer->layer;
  // The names as the course spells them, where it has them.
  std::string spelled = ResolveDiskPath(layer->course + *relative);
  spelled = spelled.compare(0, layer->course.size(), layer->course) == 0
                ? spelled.substr(layer->course.size())
                : *relative;
  MakeLayerFolder(*layer);
  // The folders on the way: the learner's where they exist, else made where the course
  // has them; past a folder that neither has, nothing more is made.
  std::string mine = layer->layer;
  std::string theirs = layer->course;
  std::size_t start = 0;
  for (std::size_t slash; (slash = spelled.find('/', start)) != std::string::npos;
       start = slash + 1) {
    const std::string part = spelled.substr(start, slash - start);
    theirs += part + "/";
    const std::string next = ResolveDiskPath(mine + part);
    if (!IsDirectory(next)) {
      if (!IsDirectory(theirs) || (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST)) {
        return ResolveDiskPath(layer->layer + spelled);
      }
    }
    mine = next + "/";
  }
  std::string target = ResolveDiskPath(mine + spelled.substr(start));
  if (path.back() == '/') target = WithSlash(target);
  return target;
}

std::vector<std::string> FoldersOf(const std::optional<LearnerLayer>& layer,
                                   const std::string& folder) {
  const std::string theirs = ResolveDiskPath(folder);
  const auto relative = layer ? PathInCourse(*layer, folder) : std::nullopt;
  if (!relative) return {theirs};
  std::vector<std::string> folders;
  const std::string mine =
      relative->empty() ? WithoutSlash(layer->layer) : ResolveDiskPath(layer->layer + *relative);
  if (IsDirectory(mine)) folders.push_back(mine);
  if (IsDirectory(theirs) || folders.empty()) folders.push_back(theirs);
  return folders;
}

bool ReadLayeredFolder(const std::optional<LearnerLayer>& layer, const std::string& folder,
                       FolderEntries wanted, std::vector<std::string>& names, bool first_only) {
  const std::vector<std::string> folders = FoldersOf(layer, folder);
  if (folders.size() == 1) return ReadFolder(folders.front(), wanted, names, first_only);
  bool opened = false;
  std::unordered_set<std::u32string> seen;
  for (const std::string& one : folders) {
    std::vector<std::string> found;
    if (!ReadFolder(one, wanted, found, first_only)) continue;
    opened = true;
    for (std::string& name : found) {
      if (seen.insert(FoldName(name)).second) names.push_back(std::move(name));
      if (first_only) return true;
    }
  }
  return opened;
}

bool CanOpenLayeredFolder(const std::optional<LearnerLayer>& layer, const std::string& folder) {
  for (const std::string& one : FoldersOf(layer, folder)) {
    if (CanOpenFolder(one)) return true;
  }
  return false;
}

bool HasLayeredSubfolder(const std::optional<LearnerLayer>& layer, const std::string& folder) {
  for (const std::string& one : FoldersOf(layer, folder)) {
    if (HasSubfolder(one)) return true;
  }
  return false;
}

std::string LearnerFilesFolder(const std::string& course_folder, bool shared) {
  const auto layer = LayerForCourse(course_folder, UserDataFolder(), shared);
  return layer ? layer->layer : std::string();
}

}  // namespace qm
