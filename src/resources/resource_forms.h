// The two windows of the teaching-resource library: the resource manager TForm3 and the
// resource picker TForm6. Both are created at start-up, hidden, and shown modally when
// the movie asks for them.
//
// Each form is a data object first (what the movie's commands set before a showing,
// what survives between showings) and becomes a working dialog when its window attaches
// its views and services. A form without a window (the headless driver) is still shown
// and reported; its handlers need the attached parts.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell_views_port.h"
#include "platform/window_system.h"
#include "ui/input_dialog.h"
#include "ui/open_dialog.h"

namespace qm {

class ErrorBoundary;
class IDialogs;
class IFileOpenDialogs;
class IFileSystem;
class IShell;

// What the resource manager's window hands to the form.
struct ResourceManagerParts {
  // Library page.
  IFolderTree& ShellTreeView1;
  IFileList& ShellListView1;
  // Course page.
  IFolderTree& bsSkinDirTreeView1;
  IFileList& bsSkinFileListView1;

  IDialogs& dialogs;
  IFileOpenDialogs& browser;
  IFileSystem& files;
  IShell& shell;
  // Every view event enters the form through it.
  ErrorBoundary& boundary;
  std::string app_dir;    // ends in a separator
  std::string app_title;  // caption of the plain message box
  // The dialog's own window: owner of what OpenDocument starts.
  const void* window = nullptr;
  // The window active at the moment of asking (owner of the shell's file operation).
  std::function<const void*()> active_window;
  // Ends the modal showing.
  std::function<void()> close;
};

// The resource manager: the user's library (page 1, managed) and the current course's
// resource folder (page 2, read-only).
class TForm3 : public IModalForm {
 public:
  TForm3();
  ~TForm3() override;
  TForm3(const TForm3&) = delete;
  TForm3& operator=(const TForm3&) = delete;

  std::string FormName() const override { return "TForm3"; }
  std::vector<std::pair<std::string, std::string>> Describe() const override {
    return {{"CourseResourceRoot", CourseResourceRoot}};
  }

  // The library folder, AppDir + "resources"; set at the first showing.
  std::string LibraryRoot;
  // The current course's resource folder, set before each showing.
  std::string CourseResourceRoot;
  // The page shown: 0 the library ("教学资源管理"), 1 the course ("教学资源索引"). The
  // window keeps it in step with its page control.
  int ActivePageIndex = 0;

  // Takes the window's views and services, creates the dialog components and routes the
  // views' events (clicks, double-clicks, label edits) through the boundary to the
  // handlers below. Once, before the first showing.
  void Attach(ResourceManagerParts parts);
  bool Attached() const { return parts_ != nullptr; }

  // Components, present once attached.
  std::unique_ptr<TbsSkinInputDialog> bsSkinInputDialog1;
  std::unique_ptr<TbsSkinOpenDialog> addfiledialog;

  // Handlers.
  void FormShow();
  void ShellTreeView1Click();
  bool ShellTreeView1Editing();
  void ShellListView1DblClick();
  void bsSkinButton3Click();  // "新建类别"
  void bsSkinButton5Click();  // "删除类别"
  void bsSkinButton6Click();  // "增加"
  void bsSkinButton4Click();  // "删除"
  void bsSkinButton1Click();  // "打开" (library)
  void bsSkinButton2Click();  // "取消" (library)
  void bsSkinDirTreeView1Click();
  bool bsSkinDirTreeView1Editing();
  bool bsSkinFileListView1Editing();
  void bsSkinFileListView1DblClick();
  void bsSkinButton8Click();  // "打开" (course)
  void bsSkinButton9Click();  // "取消" (course)

  // Moves the folder with everything in it to the recycle bin, silently; true when the
  // shell reported success.
  bool RecycleFolder(const std::string& path);

 private:
  ResourceManagerParts& Parts();
  void OpenSelected(IFileList& list);

  std::unique_ptr<ResourceManagerParts> parts_;
};

// What the resource picker's window hands to the form.
struct ResourcePickerParts {
  // Course page ("教学资源"), tree and list linked.
  IFolderTree& bsSkinDirTreeView1;
  IFileList& bsSkinFileListView1;
  // Library page ("课外资源"), tree and list linked.
  IFolderTree& bsSkinDirTreeView2;
  IFileList& bsSkinFileListView2;
  ErrorBoundary& boundary;
  std::string app_dir;  // ends in a separator
  // CallMovieFunction of the main window: function, first and second argument.
  std::function<std::string(const std::string&, const std::string&, const std::string&)>
      call_movie_function;
  // Ends the modal showing.
  std::function<void()> close;
};

// The resource picker: hands the chosen file back to the movie function named
// PickCallbackName.
class TForm6 : public IModalForm {
 public:
  TForm6();
  ~TForm6() override;
  TForm6(const TForm6&) = delete;
  TForm6& operator=(const TForm6&) = delete;

  std::string FormName() const override { return "TForm6"; }
  std::vector<std::pair<std::string, std::string>> Describe() const override {
    return {{"CourseResourceRoot", CourseResourceRoot}, {"PickCallbackName", PickCallbackName}};
  }

  std::string CourseResourceRoot;
  std::string PickCallbackName;
  // The page shown: 0 the course ("教学资源"), 1 the library ("课外资源", the first one
  // shown). The window keeps it in step with its page control.
  int ActivePageIndex = 1;

  // As TForm3::Attach: routes the lists' double-clicks and the views' label edits
  // through the boundary to the handlers.
  void Attach(ResourcePickerParts parts);
  bool Attached() const { return parts_ != nullptr; }

  // Handlers.
  void FormShow();
  void bsSkinButton1Click();  // "选择", also a double-click in either list
  void bsSkinButton2Click();  // "取消"
  bool bsSkinDirTreeView1Editing() { return false; }
  bool bsSkinDirTreeView2Editing() { return false; }
  bool bsSkinFileListView1Editing() { return false; }
  bool bsSkinFileListView2Editing() { return false; }

  // The part of `path` from its n-th character on (n = the character count of
  // `app_dir`, counted from 1), at most 999 characters of the code page.
  static std::string RelativePath(const std::string& path, const std::string& app_dir);

 private:
  ResourcePickerParts& Parts();

  std::unique_ptr<ResourcePickerParts> parts_;
};

}  // namespace qm
