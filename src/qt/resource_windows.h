// The windows of the teaching-resource library on Qt Widgets: the resource manager
// (TForm3, "教学资源管理") and the resource picker (TForm6, "选择资源"). Each window lays
// out its page control, shell views and buttons at the form's fixed places, attaches
// them to its form and runs the form's handlers inside the error boundary. The windows
// are created hidden at start-up and shown modally through the window system.
//
// Widgets carry the form's component names as object names ("bsSkinPageControl1",
// "ShellTreeView1", "bsSkinButton3", ...) so that tests and scripts can find them.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QPushButton;
class QTabWidget;

namespace qm {
class ErrorBoundary;
class IDialogs;
class IFileOpenDialogs;
class IFileSystem;
class IShell;
class TForm3;
class TForm6;
}  // namespace qm

namespace qm::qt {

class QtFolderTree;
class QtFileList;
class QtWindowSystem;

// What the resource windows use of the program.
struct ResourceWindowServices {
  IDialogs& dialogs;
  IFileOpenDialogs& browser;  // the resource manager's "增加"
  IFileSystem& files;
  IShell& shell;
  ErrorBoundary& boundary;         // every handler runs inside it
  std::string app_dir;             // ANSI, ends in a separator
  std::string app_title;           // ANSI
  QWidget* main_window = nullptr;  // the windows open centred on it
};

// A fixed-size dialog without caption buttons that opens centred on the main window;
// Escape ends it like the form's "取消".
class ResourceDialog : public QDialog {
  Q_OBJECT
 public:
  ResourceDialog(const QString& caption, int client_width, int client_height, QWidget* main_window);

  // Escape: the modal showing ends as "取消" ends it.
  void reject() override;

 protected:
  // A button of the form's size (75 × 25) at its place.
  QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, int left,
                         int top);
  void CenterOnMainWindow();

 private:
  QWidget* main_window_;
};

class ResourceManagerWindow : public ResourceDialog {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 694;
  static constexpr int kClientHeight = 528;

  ResourceManagerWindow(TForm3& form, const ResourceWindowServices& services);
  ~ResourceManagerWindow() override;

  // The modal showing: FormShow (its errors reported, the window opens regardless), then
  // the window's own loop until a "取消" or Escape; the modal result.
  int ShowModal();

  QTabWidget& PageControl() const { return *pages_; }
  QtFolderTree& ShellTreeView1() const { return *tree1_; }
  QtFileList& ShellListView1() const { return *list1_; }
  QtFolderTree& bsSkinDirTreeView1() const { return *tree2_; }
  QtFileList& bsSkinFileListView1() const { return *list2_; }

 private:
  TForm3& form_;
  ErrorBoundary& boundary_;
  QTabWidget* pages_;
  QtFolderTree* tree1_;
  QtFileList* list1_;
  QtFolderTree* tree2_;
  QtFileList* list2_;
};

class ResourcePickerWindow : public ResourceDialog {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 687;
  static constexpr int kClientHeight = 508;

  // `call_movie_function` is the main window's CallMovieFunction.
  ResourcePickerWindow(
      TForm6& form, const ResourceWindowServices& services,
      std::function<std::string(const std::string&, const std::string&, const std::string&)>
          call_movie_function);
  ~ResourcePickerWindow() override;

  int ShowModal();

  QTabWidget& PageControl() const { return *pages_; }
  QtFolderTree& bsSkinDirTreeView1() const { return *tree1_; }
  QtFileList& bsSkinFileListView1() const { return *list1_; }
  QtFolderTree& bsSkinDirTreeView2() const { return *tree2_; }
  QtFileList& bsSkinFileListView2() const { return *list2_; }

 private:
  TForm6& form_;
  ErrorBoundary& boundary_;
  QTabWidget* pages_;
  QtFolderTree* tree1_;
  QtFileList* list1_;
  QtFolderTree* tree2_;
  QtFileList* list2_;
};

// The main window's CallMovieFunction: function, first and second argument; the reply.
using CallMovieFunctionHandler =
    std::function<std::string(const std::string&, const std::string&, const std::string&)>;

// Both windows of the program, registered for their forms at once but built on their
// first showing: the forms (the data the movie's commands set) exist from start-up, and
// a start-up that must show its main window and start the Flash runtime check within a
// second does not wait for the views and dialogs. Must outlive the window system's use.
class ResourceWindows {
 public:
  ResourceWindows(QtWindowSystem& windows, TForm3& form3, TForm6& form6,
                  ResourceWindowServices services, CallMovieFunctionHandler call_movie_function);
  ~ResourceWindows();

  ResourceManagerWindow& Manager();
  ResourcePickerWindow& Picker();

 private:
  TForm3& form3_;
  TForm6& form6_;
  ResourceWindowServices services_;
  CallMovieFunctionHandler call_movie_function_;
  std::unique_ptr<ResourceManagerWindow> manager_;
  std::unique_ptr<ResourcePickerWindow> picker_;
};

// Registers both windows for their forms: the window system's ShowModal of a form runs
// its window. The windows must outlive the window system's use of them.
void RegisterResourceWindows(QtWindowSystem& windows, TForm3& form3, ResourceManagerWindow& manager,
                             TForm6& form6, ResourcePickerWindow& picker);

}  // namespace qm::qt
