#include "qt/resource_windows.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include "qt/qt_shell_views.h"
#include "qt/qt_window_system.h"
#include "resources/resource_forms.h"
#include "ui/error_report.h"
#include "ui/message_dialog.h"

namespace qm::qt {

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QWidget* AddPage(QTabWidget* pages, const char* name, const QString& caption) {
  auto* page = new QWidget(pages);
  page->setObjectName(QString::fromLatin1(name));
  pages->addTab(page, caption);
  return page;
}

template <typename View>
View* Place(View* view, const char* name, int left, int top, int width, int height) {
  view->setObjectName(QString::fromLatin1(name));
  view->setGeometry(left, top, width, height);
  return view;
}

}  // namespace

// ---------------------------------------------------------------- common

ResourceDialog::ResourceDialog(const QString& caption, int client_width, int client_height,
                               QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_window_(main_window) {
  setWindowTitle(caption);
  setModal(true);
  setFixedSize(client_width, client_height);
  setSizeGripEnabled(false);
}

void ResourceDialog::reject() {
  done(mrCancel);
}

QPushButton* ResourceDialog::AddButton(QWidget* parent, const char* name, const QString& caption,
                                       int left, int top) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, top, kButtonWidth, kButtonHeight);
  // Enter presses the button that has the focus; no button is the dialog's default.
  button->setAutoDefault(true);
  button->setDefault(false);
  return button;
}

void ResourceDialog::CenterOnMainWindow() {
  QRect around;
  if (main_window_ != nullptr && main_window_->isVisible()) {
    around = main_window_->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    around = screen->availableGeometry();
  }
  if (around.isValid()) move(around.center() - QPoint(width() / 2, height() / 2));
}

// ---------------------------------------------------------------- resource manager

ResourceManagerWindow::ResourceManagerWindow(TForm3& form, const ResourceWindowServices& services)
    : ResourceDialog(QString::fromUtf8("教学资源管理"), kClientWidth, kClientHeight,
                     services.main_window),
      form_(form),
      boundary_(services.boundary) {
  setObjectName(QStringLiteral("Form3"));
  pages_ = Place(new QTabWidget(this), "bsSkinPageControl1", 16, 16, 657, 497);
  QWidget* library = AddPage(pages_, "bsSkinTabSheet1", QString::fromUtf8("教学资源管理"));
  QWidget* course = AddPage(pages_, "bsSkinTabSheet2", QString::fromUtf8("教学资源索引"));

  // Library page: the views are not linked; the list follows the tree only through
  // ShellTreeView1Click. They do not watch the file system.
  tree1_ = Place(new QtFolderTree(boundary_, library), "ShellTreeView1", 8, 8, 177, 385);
  list1_ = Place(new QtFileList(boundary_, library), "ShellListView1", 192, 8, 441, 385);
  const struct {
    const char* name;
    const char* caption;
    int left;
    void (TForm3::*handler)();
  } library_buttons[] = {
      {"bsSkinButton3", "新建类别", 8, &TForm3::bsSkinButton3Click},
      {"bsSkinButton5", "删除类别", 88, &TForm3::bsSkinButton5Click},
      {"bsSkinButton6", "增加", 272, &TForm3::bsSkinButton6Click},
      {"bsSkinButton4", "删除", 352, &TForm3::bsSkinButton4Click},
      {"bsSkinButton1", "打开", 440, &TForm3::bsSkinButton1Click},
      {"bsSkinButton2", "取消", 528, &TForm3::bsSkinButton2Click},
  };
  for (const auto& b : library_buttons) {
    QPushButton* button = AddButton(library, b.name, QString::fromUtf8(b.caption), b.left, 400);
    connect(button, &QPushButton::clicked, this,
            [this, handler = b.handler] { boundary_.Run([&] { (form_.*handler)(); }); });
  }

  // Course page, read-only.
  tree2_ = Place(new QtFolderTree(boundary_, course), "bsSkinDirTreeView1", 8, 8, 177, 409);
  list2_ = Place(new QtFileList(boundary_, course), "bsSkinFileListView1", 192, 8, 425, 409);
  QPushButton* open = AddButton(course, "bsSkinButton8", QString::fromUtf8("打开"), 440, 424);
  connect(open, &QPushButton::clicked, this,
          [this] { boundary_.Run([&] { form_.bsSkinButton8Click(); }); });
  QPushButton* cancel = AddButton(course, "bsSkinButton9", QString::fromUtf8("取消"), 528, 424);
  connect(cancel, &QPushButton::clicked, this,
          [this] { boundary_.Run([&] { form_.bsSkinButton9Click(); }); });

  pages_->setCurrentIndex(form_.ActivePageIndex);
  connect(pages_, &QTabWidget::currentChanged, this,
          [this](int index) { form_.ActivePageIndex = index; });

  form_.Attach({*tree1_, *list1_, *tree2_, *list2_, services.dialogs, services.browser,
                services.files, services.shell, boundary_, services.app_dir, services.app_title,
                static_cast<QWidget*>(this),
                [] { return static_cast<const void*>(QApplication::activeWindow()); },
                [this] { done(mrCancel); }});
}

ResourceManagerWindow::~ResourceManagerWindow() = default;

int ResourceManagerWindow::ShowModal() {
  boundary_.Run([&] { form_.FormShow(); });
  pages_->setCurrentIndex(form_.ActivePageIndex);
  CenterOnMainWindow();
  return exec();
}

// ---------------------------------------------------------------- resource picker

ResourcePickerWindow::ResourcePickerWindow(
    TForm6& form, const ResourceWindowServices& services,
    std::function<std::string(const std::string&, const std::string&, const std::string&)>
        call_movie_function)
    : ResourceDialog(QString::fromUtf8("选择资源"), kClientWidth, kClientHeight,
                     services.main_window),
      form_(form),
      boundary_(services.boundary) {
  setObjectName(QStringLiteral("Form6"));
  pages_ = Place(new QTabWidget(this), "bsSkinPageControl1", 8, 8, 665, 449);
  QWidget* course = AddPage(pages_, "bsSkinTabSheet1", QString::fromUtf8("教学资源"));
  QWidget* library = AddPage(pages_, "bsSkinTabSheet2", QString::fromUtf8("课外资源"));

  // On each page the list follows its tree, and both watch what they show.
  tree1_ = Place(new QtFolderTree(boundary_, course), "bsSkinDirTreeView1", 8, 8, 177, 401);
  list1_ = Place(new QtFileList(boundary_, course), "bsSkinFileListView1", 192, 8, 457, 401);
  tree2_ = Place(new QtFolderTree(boundary_, library), "bsSkinDirTreeView2", 8, 8, 177, 401);
  list2_ = Place(new QtFileList(boundary_, library), "bsSkinFileListView2", 192, 8, 457, 401);
  LinkViews(*tree1_, *list1_);
  LinkViews(*tree2_, *list2_);
  for (QtFolderTree* tree : {tree1_, tree2_}) tree->SetAutoRefresh(true);
  for (QtFileList* list : {list1_, list2_}) list->SetAutoRefresh(true);

  QPushButton* choose = AddButton(this, "bsSkinButton1", QString::fromUtf8("选择"), 504, 472);
  connect(choose, &QPushButton::clicked, this,
          [this] { boundary_.Run([&] { form_.bsSkinButton1Click(); }); });
  QPushButton* cancel = AddButton(this, "bsSkinButton2", QString::fromUtf8("取消"), 592, 472);
  connect(cancel, &QPushButton::clicked, this,
          [this] { boundary_.Run([&] { form_.bsSkinButton2Click(); }); });

  pages_->setCurrentIndex(form_.ActivePageIndex);
  connect(pages_, &QTabWidget::currentChanged, this,
          [this](int index) { form_.ActivePageIndex = index; });

  form_.Attach({*tree1_, *list1_, *tree2_, *list2_, boundary_, services.app_dir,
                std::move(call_movie_function), [this] { done(mrCancel); }});
}

ResourcePickerWindow::~ResourcePickerWindow() = default;

int ResourcePickerWindow::ShowModal() {
  boundary_.Run([&] { form_.FormShow(); });
  pages_->setCurrentIndex(form_.ActivePageIndex);
  CenterOnMainWindow();
  return exec();
}

// ---------------------------------------------------------------- registration

void RegisterResourceWindows(QtWindowSystem& windows, TForm3& form3, ResourceManagerWindow& manager,
                             TForm6& form6, ResourcePickerWindow& picker) {
  windows.SetModalWindow(form3, [&manager] { return manager.ShowModal(); });
  windows.SetModalWindow(form6, [&picker] { return picker.ShowModal(); });
}

ResourceWindows::ResourceWindows(QtWindowSystem& windows, TForm3& form3, TForm6& form6,
                                 ResourceWindowServices services,
                                 CallMovieFunctionHandler call_movie_function)
    : form3_(form3),
      form6_(form6),
      services_(std::move(services)),
      call_movie_function_(std::move(call_movie_function)) {
  windows.SetModalWindow(form3, [this] { return Manager().ShowModal(); });
  windows.SetModalWindow(form6, [this] { return Picker().ShowModal(); });
}

ResourceWindows::~ResourceWindows() = default;

ResourceManagerWindow& ResourceWindows::Manager() {
  if (!manager_) manager_ = std::make_unique<ResourceManagerWindow>(form3_, services_);
  return *manager_;
}

ResourcePickerWindow& ResourceWindows::Picker() {
  if (!picker_) {
    picker_ = std::make_unique<ResourcePickerWindow>(form6_, services_, call_movie_function_);
  }
  return *picker_;
}

}  // namespace qm::qt
