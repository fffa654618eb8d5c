// TForm3, the resource manager: the user's resource library (categories are folders
// below AppDir + "resources", resources the files in them) and the current course's
// resource folder, browsed read-only.
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "resources/document_launcher.h"
#include "resources/resource_forms.h"
#include "text/chars.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm {

namespace {

// The chosen file's name: the text after its last "\", ":" or "/" (whole characters
// only; in a double-byte code page a trail byte may equal "\").
std::string ChosenFileName(const std::string& path) {
  const text::Chars chars(path);
  const std::size_t last = chars.FindLastOf("\\:/");
  if (last == text::Chars::npos) return path;
  return std::string(chars.Slice(last + 1, chars.Count()));
}

// Two paths that name the same folder when letter case (A to Z) and one trailing
// separator are ignored.
bool SameFolderIgnoringCase(const std::string& a, const std::string& b) {
  return text::LowerAscii(ExcludeTrailingSeparator(a)) ==
         text::LowerAscii(ExcludeTrailingSeparator(b));
}

}  // namespace

TForm3::TForm3() = default;
TForm3::~TForm3() = default;

void TForm3::Attach(ResourceManagerParts parts) {
  parts_ = std::make_unique<ResourceManagerParts>(std::move(parts));
  ResourceManagerParts& p = *parts_;
  bsSkinInputDialog1 = std::make_unique<TbsSkinInputDialog>(p.dialogs);
  addfiledialog = std::make_unique<TbsSkinOpenDialog>(p.browser, p.files, p.app_dir);
  addfiledialog->Title = "Open file";
  addfiledialog->Filter = "All files|*.*";
  addfiledialog->FilterIndex = 1;
  addfiledialog->MultiSelection = true;
  addfiledialog->CheckFileExists = true;

  ErrorBoundary& boundary = p.boundary;
  auto event = [&boundary, this](void (TForm3::*handler)()) {
    return [&boundary, this, handler] { boundary.Run([&] { (this->*handler)(); }); };
  };
  auto editing = [&boundary, this](bool (TForm3::*handler)()) {
    return [&boundary, this, handler] {
      bool allowed = false;
      boundary.Run([&] { allowed = (this->*handler)(); });
      return allowed;
    };
  };
  p.ShellTreeView1.SetOnClick(event(&TForm3::ShellTreeView1Click));
  p.ShellTreeView1.SetOnEditing(editing(&TForm3::ShellTreeView1Editing));
  p.ShellListView1.SetOnDblClick(event(&TForm3::ShellListView1DblClick));
  p.bsSkinDirTreeView1.SetOnClick(event(&TForm3::bsSkinDirTreeView1Click));
  p.bsSkinDirTreeView1.SetOnEditing(editing(&TForm3::bsSkinDirTreeView1Editing));
  p.bsSkinFileListView1.SetOnDblClick(event(&TForm3::bsSkinFileListView1DblClick));
  p.bsSkinFileListView1.SetOnEditing(editing(&TForm3::bsSkinFileListView1Editing));
}

ResourceManagerParts& TForm3::Parts() {
  if (!parts_) throw Exception("The resource manager has no window");
  return *parts_;
}

void TForm3::FormShow() {
  ResourceManagerParts& p = Parts();
  // The library page is rooted once; later showings leave it as the user left it. The
  // field is set first, so a library folder that cannot be opened is not tried again.
  const std::string library = p.app_dir + "resources";
  if (LibraryRoot != library) {
    LibraryRoot = library;
    p.ShellTreeView1.SetRoot(LibraryRoot);
    p.ShellListView1.SetRoot(LibraryRoot);
  }
  // The course page follows the course.
  if (p.bsSkinDirTreeView1.Root() != CourseResourceRoot) {
    p.bsSkinDirTreeView1.SetRoot(CourseResourceRoot);
    p.bsSkinFileListView1.SetRoot(CourseResourceRoot);
  }
}

void TForm3::ShellTreeView1Click() {
  ResourceManagerParts& p = Parts();
  p.ShellListView1.SetRoot(p.ShellTreeView1.SelectedPath());
}

bool TForm3::ShellTreeView1Editing() {
  ResourceManagerParts& p = Parts();
  return p.ShellTreeView1.SelectedPath() != p.ShellTreeView1.Root();
}

void TForm3::bsSkinButton3Click() {
  ResourceManagerParts& p = Parts();
  const std::string name =
      bsSkinInputDialog1->InputText(text::A("新建类别"), text::A("请输入类别名称"), "");
  if (name.empty()) return;
  // The name is used as typed. Without a selected folder there is no place for it: the
  // join would name a folder at the file system's top.
  const std::string selected = p.ShellTreeView1.SelectedPath();
  if (selected.empty() || !p.files.CreateDirectory(selected + "/" + name)) {
    p.dialogs.ShowPlainMessage(text::A("新建类别失败，请重试"), p.app_title);
  }
  p.ShellTreeView1.RefreshNode(p.ShellTreeView1.Selected());
}

void TForm3::bsSkinButton5Click() {
  ResourceManagerParts& p = Parts();
  const std::string path = p.ShellTreeView1.SelectedPath();
  // The library folder itself is never deleted, whatever the case of its path.
  if (SameFolderIgnoringCase(path, p.ShellTreeView1.Root())) return;
  p.ShellListView1.SetRoot(LibraryRoot);
  p.ShellTreeView1.RemoveNode(p.ShellTreeView1.Selected());
  RecycleFolder(path);
  const TreeNodeHandle top = p.ShellTreeView1.TopItem();
  p.ShellTreeView1.RefreshNode(top);
  p.ShellTreeView1.Select(top);
}

bool TForm3::RecycleFolder(const std::string& path) {
  ResourceManagerParts& p = Parts();
  if (path.empty()) return false;  // an empty list names nothing to delete
  ShellFileOperation operation;
  operation.owner = p.active_window ? p.active_window() : nullptr;
  operation.operation = kFoDelete;
  operation.from = {path};
  operation.flags = kFofSilent | kFofNoConfirmation | kFofAllowUndo | kFofNoErrorUi;
  return p.shell.FileOperation(operation) == 0;
}

void TForm3::bsSkinButton6Click() {
  ResourceManagerParts& p = Parts();
  if (addfiledialog->ChooseFiles() && !addfiledialog->Files().empty()) {
    // Into the tree's selected folder, which need not be the one the list shows.
    const std::string selected = p.ShellTreeView1.SelectedPath();
    if (!selected.empty()) {
      for (const std::string& chosen : addfiledialog->Files()) {
        // An existing file of the same name is never overwritten; failures are skipped.
        p.files.CopyFile(chosen, selected + "/" + ChosenFileName(chosen), true);
      }
    }
  }
  p.ShellListView1.RefreshList();
}

void TForm3::bsSkinButton4Click() {
  ResourceManagerParts& p = Parts();
  try {
    const std::string path = p.ShellListView1.SelectedFilePath();
    if (!path.empty()) {
      p.ShellListView1.RemoveSelected();
      p.files.DeleteFile(path);
    }
  } catch (...) {
    // Deleting reports nothing; the refresh shows the file again if it is still there.
  }
  p.ShellListView1.RefreshList();
}

void TForm3::OpenSelected(IFileList& list) {
  ResourceManagerParts& p = Parts();
  const std::string path = list.SelectedFilePath();
  if (!path.empty()) OpenDocument(p.shell, p.app_dir, path, p.window);
}

void TForm3::bsSkinButton1Click() {
  OpenSelected(Parts().ShellListView1);
}

void TForm3::ShellListView1DblClick() {
  OpenSelected(Parts().ShellListView1);
}

void TForm3::bsSkinButton2Click() {
  if (Parts().close) Parts().close();
}

void TForm3::bsSkinDirTreeView1Click() {
  ResourceManagerParts& p = Parts();
  p.bsSkinFileListView1.SetRoot(p.bsSkinDirTreeView1.SelectedPath());
}

bool TForm3::bsSkinDirTreeView1Editing() {
  return false;
}

bool TForm3::bsSkinFileListView1Editing() {
  return false;
}

void TForm3::bsSkinFileListView1DblClick() {
  OpenSelected(Parts().bsSkinFileListView1);
}

void TForm3::bsSkinButton8Click() {
  OpenSelected(Parts().bsSkinFileListView1);
}

void TForm3::bsSkinButton9Click() {
  if (Parts().close) Parts().close();
}

}  // namespace qm
