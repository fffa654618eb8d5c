// TForm6, the resource picker: the user chooses one file of the course's resources or of
// the library, and the movie function named by the movie hears its path relative to the
// program folder.
#include "platform/errors.h"
#include "resources/resource_forms.h"
#include "text/chars.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm {

TForm6::TForm6() = default;
TForm6::~TForm6() = default;

void TForm6::Attach(ResourcePickerParts parts) {
  parts_ = std::make_unique<ResourcePickerParts>(std::move(parts));
  ResourcePickerParts& p = *parts_;
  ErrorBoundary& boundary = p.boundary;
  auto choose = [&boundary, this] { boundary.Run([this] { bsSkinButton1Click(); }); };
  auto refuse = [] { return false; };
  p.bsSkinFileListView1.SetOnDblClick(choose);
  p.bsSkinFileListView2.SetOnDblClick(choose);
  p.bsSkinDirTreeView1.SetOnEditing(refuse);
  p.bsSkinDirTreeView2.SetOnEditing(refuse);
  p.bsSkinFileListView1.SetOnEditing(refuse);
  p.bsSkinFileListView2.SetOnEditing(refuse);
}

ResourcePickerParts& TForm6::Parts() {
  if (!parts_) throw Exception("The resource picker has no window");
  return *parts_;
}

void TForm6::FormShow() {
  ResourcePickerParts& p = Parts();
  // Each tree's linked list follows its root. A course root that failed is tried again
  // at the next showing, since the tree's root still differs from it.
  if (p.bsSkinDirTreeView1.Root() != CourseResourceRoot) {
    p.bsSkinDirTreeView1.SetRoot(CourseResourceRoot);
  }
  const std::string library = p.app_dir + "resources";
  if (p.bsSkinDirTreeView2.Root() != library) p.bsSkinDirTreeView2.SetRoot(library);
}

std::string TForm6::RelativePath(const std::string& path, const std::string& app_dir) {
  // From the n-th character on, counted from 1: AppDir's own final separator stays as
  // the first character. Nothing checks that `path` really begins with AppDir.
  const std::size_t n = text::Ansi().CharCount(app_dir);
  const std::size_t first = n > 0 ? n - 1 : 0;
  return std::string(text::Chars(path).Slice(first, first + 999));
}

void TForm6::bsSkinButton1Click() {
  ResourcePickerParts& p = Parts();
  IFileList& list = ActivePageIndex == 0 ? p.bsSkinFileListView1 : p.bsSkinFileListView2;
  const std::string relative = RelativePath(list.SelectedFilePath(), p.app_dir);
  // An error of the call leaves the dialog open.
  p.call_movie_function(PickCallbackName, "selectedover", relative);
  if (p.close) p.close();
}

void TForm6::bsSkinButton2Click() {
  ResourcePickerParts& p = Parts();
  if (p.close) p.close();
}

}  // namespace qm
