// The learner's own layer over a course folder that the learner cannot write (a CD, a
// read-only share, a folder an administrator owns) or that its quillmere.ini shares
// with everyone ("userdata=always"). Everything the shell writes below the course goes
// into the layer; every read below the course sees the learner's file first, then the
// course's. Paths here are on-disk paths (UTF-8, "/" separators).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "posix/posix_files.h"

namespace qm {

struct LearnerLayer {
  std::string course;  // the course folder: absolute, ends in "/"
  std::string layer;   // the learner's folder for it: absolute, ends in "/"
};

// The learner's folder for the course in `course_folder` (absolute):
// `data_home`/quillmere/courses/<folder name>-<short hash of the absolute path>/.
std::string LearnerLayerFolder(const std::string& course_folder, const std::string& data_home);

// Whether this user may create and replace files in `folder`.
bool FolderWritable(const std::string& folder);

// The layer a course is played over: when the folder is not writable or `always` is
// set, else none. `data_home` is the user's data folder; none when it is empty.
std::optional<LearnerLayer> LayerForCourse(const std::string& course_folder,
                                           const std::string& data_home, bool always);

// The layer of this process, set once at start (and handed to the programs the shell
// starts, through the environment); none by default.
void UseLearnerLayer(std::optional<LearnerLayer> layer);
const std::optional<LearnerLayer>& ProcessLearnerLayer();
// The environment variables that carry the layer to a started program, and the layer
// they name (none when either is missing or not absolute).
constexpr char kLayerCourseVariable[] = "QM_LAYER_COURSE";
constexpr char kLayerFolderVariable[] = "QM_LAYER_FOLDER";
std::optional<LearnerLayer> LayerFromEnvironment();

// How one on-disk path lies in a layer: the path below the course, lexically normal
// ("a/b", "" for the course folder itself); none when the path is not below the course
// or climbs out of it.
std::optional<std::string> PathInCourse(const LearnerLayer& layer, const std::string& path);

// Where a read of `path` finds its entry: the learner's copy (any letter case) when it
// exists, else the path resolved in any letter case.
std::string FindForReading(const std::optional<LearnerLayer>& layer, const std::string& path);
// Where a write of `path` goes: below the course, the learner's layer, with the folders
// that the course holds made there as needed (named as the course names them); the
// path resolved in any letter case elsewhere. Folders that neither holds are not made.
std::string PlaceForWriting(const std::optional<LearnerLayer>& layer, const std::string& path);
// The folders on disk that make up `folder`: the learner's (when it exists) first, then
// the course's (when it exists); outside a layer, the folder resolved.
std::vector<std::string> FoldersOf(const std::optional<LearnerLayer>& layer,
                                   const std::string& folder);

// ReadFolder, CanOpenFolder and HasSubfolder over every folder of FoldersOf: a name
// that both hold (in any letter case) is listed once, as the learner's folder spells it.
bool ReadLayeredFolder(const std::optional<LearnerLayer>& layer, const std::string& folder,
                       FolderEntries wanted, std::vector<std::string>& names,
                       bool first_only = false);
bool CanOpenLayeredFolder(const std::optional<LearnerLayer>& layer, const std::string& folder);
bool HasLayeredSubfolder(const std::optional<LearnerLayer>& layer, const std::string& folder);

}  // namespace qm
