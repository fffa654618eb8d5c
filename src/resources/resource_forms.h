// The two windows of the teaching-resource library, as the movie's commands see them:
// the resource manager TForm3 and the resource picker TForm6. Both are created at
// start-up, hidden, and shown modally when the movie asks for them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/window_system.h"

namespace qm {

// The resource manager: the user's library and the current course's resource folder.
class TForm3 : public IModalForm {
 public:
  std::string FormName() const override { return "TForm3"; }
  std::vector<std::pair<std::string, std::string>> Describe() const override {
    return {{"CourseResourceRoot", CourseResourceRoot}};
  }

  // The current course's resource folder, set before each showing.
  std::string CourseResourceRoot;
};

// The resource picker: hands the chosen file back to the movie function named
// PickCallbackName.
class TForm6 : public IModalForm {
 public:
  std::string FormName() const override { return "TForm6"; }
  std::vector<std::pair<std::string, std::string>> Describe() const override {
    return {{"CourseResourceRoot", CourseResourceRoot}, {"PickCallbackName", PickCallbackName}};
  }

  std::string CourseResourceRoot;
  std::string PickCallbackName;
};

}  // namespace qm
