#include "qt/open_dialog_window.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QActionGroup>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "text/codepage.h"
#include "ui/error_report.h"
#include "ui/open_dialog.h"

namespace qm::qt {

namespace {

QString FromAnsi(const std::string& ansi) {
  return QString::fromStdU16String(text::Ansi().ToUtf16(ansi));
}

std::string ToAnsi(const QString& s) {
  return text::Ansi().FromUtf16(s.toStdU16String());
}

// The program's own texts are UTF-8 literals; the window shows them as they are.
QString T(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The shown folder in the system's form: native separators, no trailing one except at
// the top of the file system.
QString NativeFolder(const QString& folder) {
  return QDir::toNativeSeparators(folder);
}

constexpr int kIsFolderRole = Qt::UserRole + 1;
constexpr int kColumns = 4;  // name, size, type, modified

const char* const kViewNames[] = {"大图标", "小图标", "列表", "详细信息"};

class TbsOpenDlgForm : public QDialog {
 public:
  TbsOpenDlgForm(const OpenDialogRequest& request, ErrorBoundary& boundary, IFileSystem& fs,
                 QWidget* owner);

  // How the window was left and, when confirmed, the choice.
  OpenDialogResult Result() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildToolBar(QVBoxLayout* layout);
  void BuildList(QVBoxLayout* layout);
  void BuildBottomBand(QVBoxLayout* layout);
  void PlaceWindow(QWidget* owner);

  // Every entry from Qt into the window's rules runs inside the error boundary.
  template <typename F>
  void Guarded(F&& handler) {
    boundary_.Run(std::forward<F>(handler));
  }

  void ShowFolder(const QString& folder, bool remember);
  void Refill();
  void FillLookIn();
  void SetView(FileBrowserView view);
  QAbstractItemView* ActiveView() const;
  bool IsFolderRow(int row) const;
  QString RowName(int row) const;

  void OnSelectionChanged(const QItemSelection& selected);
  void OnNameBoxEnter();
  void OnListEnter();
  void OnDoubleClick(const QModelIndex& index);
  void OnBack();
  void OnUp();
  void OnNewFolder();
  void Confirm();

  const OpenDialogRequest request_;
  ErrorBoundary& boundary_;
  IFileSystem& fs_;

  QString folder_;       // the shown folder (Qt form, absolute, clean)
  QStringList history_;  // folders shown before, the last one on top
  QString mask_;         // the list's mask, "*.txt;*.doc"
  FileBrowserView view_;
  OpenDialogResult result_;

  QComboBox* look_in_ = nullptr;
  QToolButton* back_ = nullptr;
  QToolButton* up_ = nullptr;
  QStandardItemModel* model_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QListView* list_ = nullptr;
  QTreeView* details_ = nullptr;
  QActionGroup* view_actions_ = nullptr;
  QLineEdit* name_box_ = nullptr;
  QComboBox* filter_box_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

TbsOpenDlgForm::TbsOpenDlgForm(const OpenDialogRequest& request, ErrorBoundary& boundary,
                               IFileSystem& fs, QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      request_(request),
      boundary_(boundary),
      fs_(fs),
      view_(request.view) {
  setObjectName("TbsOpenDlgForm");
  setWindowTitle(FromAnsi(request.title));
  setModal(true);
  setSizeGripEnabled(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(6);
  BuildToolBar(layout);
  BuildList(layout);
  BuildBottomBand(layout);

  for (const FileFilter& filter : request.filters) {
    filter_box_->addItem(FromAnsi(filter.description), FromAnsi(filter.mask));
  }
  if (!request.filters.empty()) {
    const int index =
        std::clamp(request.filter_index, 1, static_cast<int>(request.filters.size())) - 1;
    filter_box_->setCurrentIndex(index);
    mask_ = filter_box_->itemData(index).toString();
  } else {
    mask_ = "*";
  }
  result_.filter_index = request.filter_index;

  name_box_->setText(FromAnsi(request.file_name));
  SetView(request.view);
  QString start = QDir(FromAnsi(request.folder)).absolutePath();
  ShowFolder(start, false);

  setMinimumSize(std::max(request.min_width, 0), std::max(request.min_height, 0));
  resize(std::max(request.client_width, request.min_width),
         std::max(request.client_height, request.min_height));
  PlaceWindow(owner);
  name_box_->setFocus();
}

void TbsOpenDlgForm::BuildToolBar(QVBoxLayout* layout) {
  auto* bar = new QHBoxLayout;
  bar->setSpacing(4);
  auto* label = new QLabel(T("查找: "), this);
  look_in_ = new QComboBox(this);
  look_in_->setObjectName("lookInBox");
  look_in_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  label->setBuddy(look_in_);
  connect(look_in_, &QComboBox::activated, this, [this](int index) {
    Guarded([&] { ShowFolder(look_in_->itemData(index).toString(), true); });
  });

  const auto tool = [this](const char* name, const char* tip, QStyle::StandardPixmap icon) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(T(tip));
    button->setIcon(style()->standardIcon(icon));
    button->setAutoRaise(true);
    return button;
  };
  back_ = tool("backButton", "转到最后访问的文件夹", QStyle::SP_ArrowBack);
  up_ = tool("upButton", "转到上一级", QStyle::SP_FileDialogToParent);
  QToolButton* new_folder = tool("newFolderButton", "新建文件夹", QStyle::SP_FileDialogNewFolder);
  QToolButton* views = tool("viewButton", "查看菜单", QStyle::SP_FileDialogDetailedView);
  connect(back_, &QToolButton::clicked, this, [this] { Guarded([&] { OnBack(); }); });
  connect(up_, &QToolButton::clicked, this, [this] { Guarded([&] { OnUp(); }); });
  connect(new_folder, &QToolButton::clicked, this, [this] { Guarded([&] { OnNewFolder(); }); });

  auto* menu = new QMenu(views);
  menu->setObjectName("viewMenu");
  view_actions_ = new QActionGroup(menu);
  view_actions_->setExclusive(true);
  for (int i = 0; i < 4; ++i) {
    QAction* action = menu->addAction(T(kViewNames[i]));
    action->setCheckable(true);
    action->setData(i);
    view_actions_->addAction(action);
    connect(action, &QAction::triggered, this,
            [this, i] { Guarded([&] { SetView(static_cast<FileBrowserView>(i)); }); });
  }
  views->setMenu(menu);
  views->setPopupMode(QToolButton::InstantPopup);

  bar->addWidget(label);
  bar->addWidget(look_in_, 1);
  bar->addWidget(back_);
  bar->addWidget(up_);
  bar->addWidget(new_folder);
  bar->addWidget(views);
  layout->addLayout(bar);
}

void TbsOpenDlgForm::BuildList(QVBoxLayout* layout) {
  model_ = new QStandardItemModel(0, kColumns, this);
  model_->setHorizontalHeaderLabels({T("名称"), T("大小"), T("类型"), T("修改日期")});

  list_ = new QListView(this);
  list_->setObjectName("fileList");
  list_->setModel(model_);
  details_ = new QTreeView(this);
  details_->setObjectName("fileDetails");
  details_->setModel(model_);
  // Both views share one selection: what is selected stays selected across views.
  QItemSelectionModel* own = details_->selectionModel();
  details_->setSelectionModel(list_->selectionModel());
  delete own;
  details_->setRootIsDecorated(false);
  details_->setItemsExpandable(false);
  details_->setUniformRowHeights(true);
  details_->setAllColumnsShowFocus(true);
  details_->setSelectionBehavior(QAbstractItemView::SelectRows);
  details_->header()->setStretchLastSection(false);
  details_->header()->resizeSection(0, 200);

  const auto mode = request_.multi_selection ? QAbstractItemView::ExtendedSelection
                                             : QAbstractItemView::SingleSelection;
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(list_), static_cast<QAbstractItemView*>(details_)}) {
    view->setSelectionMode(mode);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { Guarded([&] { OnDoubleClick(index); }); });
  }
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) {
            Guarded([&] { OnSelectionChanged(selected); });
          });

  stack_ = new QStackedWidget(this);
  stack_->addWidget(list_);
  stack_->addWidget(details_);
  layout->addWidget(stack_, 1);
}

void TbsOpenDlgForm::BuildBottomBand(QVBoxLayout* layout) {
  auto* band = new QGridLayout;
  band->setHorizontalSpacing(6);
  band->setVerticalSpacing(4);
  auto* name_label = new QLabel(T("文件名:"), this);
  name_box_ = new QLineEdit(this);
  name_box_->setObjectName("nameBox");
  name_box_->installEventFilter(this);
  name_label->setBuddy(name_box_);
  auto* type_label = new QLabel(T("文件类型:"), this);
  filter_box_ = new QComboBox(this);
  filter_box_->setObjectName("filterBox");
  type_label->setBuddy(filter_box_);
  connect(filter_box_, &QComboBox::activated, this, [this](int index) {
    Guarded([&] {
      mask_ = filter_box_->itemData(index).toString();
      Refill();
    });
  });

  auto* open = new QPushButton(T("打开(&O)"), this);
  open->setObjectName("openButton");
  cancel_ = new QPushButton(T("取消"), this);
  cancel_->setObjectName("cancelButton");
  // Enter is handled by the window itself (keyPressEvent), not by a default button.
  open->setAutoDefault(false);
  cancel_->setAutoDefault(false);
  connect(open, &QPushButton::clicked, this, [this] { Guarded([&] { Confirm(); }); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  band->addWidget(name_label, 0, 0);
  band->addWidget(name_box_, 0, 1);
  band->addWidget(open, 0, 2);
  band->addWidget(type_label, 1, 0);
  band->addWidget(filter_box_, 1, 1);
  band->addWidget(cancel_, 1, 2);
  band->setColumnStretch(1, 1);
  layout->addLayout(band);
}

void TbsOpenDlgForm::PlaceWindow(QWidget* owner) {
  QRect area;
  if (owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

OpenDialogResult TbsOpenDlgForm::Result() const {
  OpenDialogResult result = result_;
  if (filter_box_->count() > 0) result.filter_index = filter_box_->currentIndex() + 1;
  result.client_width = width();
  result.client_height = height();
  result.view = view_;
  return result;
}

bool TbsOpenDlgForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (watched == name_box_) {
    if (enter) {
      Guarded([&] { OnNameBoxEnter(); });
      return true;
    }
    if (key == Qt::Key_Escape) {
      reject();
      return true;
    }
  } else if (enter && (watched == list_ || watched == details_)) {
    Guarded([&] { OnListEnter(); });
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TbsOpenDlgForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter anywhere else acts as the focused button, or as "打开(&O)".
    if (focusWidget() == cancel_) {
      reject();
    } else {
      Guarded([&] { Confirm(); });
    }
    return;
  }
  QDialog::keyPressEvent(event);  // Escape closes unconfirmed
}

void TbsOpenDlgForm::ShowFolder(const QString& folder, bool remember) {
  const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
  if (remember && !folder_.isEmpty() && clean != folder_) history_.push_back(folder_);
  const bool moved = !folder_.isEmpty() && clean != folder_;
  folder_ = clean;
  back_->setEnabled(!history_.isEmpty());
  up_->setEnabled(!QDir(folder_).isRoot());
  FillLookIn();
  Refill();
  if (moved && request_.on_folder_change) request_.on_folder_change(ToAnsi(NativeFolder(folder_)));
}

void TbsOpenDlgForm::FillLookIn() {
  look_in_->clear();
  QStringList chain;
  for (QDir dir(folder_);;) {
    chain.push_front(dir.absolutePath());
    if (dir.isRoot() || !dir.cdUp()) break;
  }
  for (int depth = 0; depth < chain.size(); ++depth) {
    const QString& path = chain[depth];
    QString name = QDir(path).isRoot() ? NativeFolder(path) : QFileInfo(path).fileName();
    look_in_->addItem(QString(depth * 2, QChar(' ')) + name, path);
  }
  look_in_->setCurrentIndex(static_cast<int>(chain.size()) - 1);
  const QString home = QDir::cleanPath(QDir::homePath());
  if (!chain.contains(home)) {
    look_in_->insertSeparator(look_in_->count());
    look_in_->addItem(NativeFolder(home), home);
  }
}

void TbsOpenDlgForm::Refill() {
  list_->selectionModel()->clear();
  model_->removeRows(0, model_->rowCount());

  QDir dir(folder_);
  QFileInfoList entries =
      dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
  const std::string mask = ToAnsi(mask_);
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const QFileInfo& info) {
                                 return !info.isDir() &&
                                        !MatchesMask(ToAnsi(info.fileName()), mask);
                               }),
                entries.end());
  QCollator collator;
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(entries.begin(), entries.end(), [&](const QFileInfo& a, const QFileInfo& b) {
    if (a.isDir() != b.isDir()) return a.isDir();
    const int order = collator.compare(a.fileName(), b.fileName());
    return order != 0 ? order < 0 : a.fileName() < b.fileName();
  });

  QFileIconProvider icons;
  const QIcon folder_icon = icons.icon(QAbstractFileIconProvider::Folder);
  const QIcon file_icon = icons.icon(QAbstractFileIconProvider::File);
  for (const QFileInfo& info : entries) {
    const bool is_folder = info.isDir();
    auto* name = new QStandardItem(is_folder ? folder_icon : file_icon, info.fileName());
    name->setData(is_folder, kIsFolderRole);
    name->setToolTip(info.fileName());
    auto* size = new QStandardItem(
        is_folder ? QString() : QString::number((info.size() + 1023) / 1024) + " KB");
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* type =
        new QStandardItem(is_folder                 ? T("文件夹")
                          : info.suffix().isEmpty() ? T("文件")
                                                    : info.suffix().toUpper() + T(" 文件"));
    auto* modified =
        new QStandardItem(info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    for (QStandardItem* item : {name, size, type, modified}) item->setEditable(false);
    model_->appendRow({name, size, type, modified});
  }
  list_->scrollToTop();
  details_->scrollToTop();
}

void TbsOpenDlgForm::SetView(FileBrowserView view) {
  view_ = view;
  const int index = static_cast<int>(view);
  if (index >= 0 && index < 4) view_actions_->actions()[index]->setChecked(true);
  const bool had_focus = ActiveView()->hasFocus();
  switch (view) {
    case FileBrowserView::kLargeIcons:
      list_->setViewMode(QListView::IconMode);
      list_->setIconSize(QSize(32, 32));
      list_->setGridSize(QSize(84, 68));
      list_->setWordWrap(true);
      break;
    case FileBrowserView::kSmallIcons:
      list_->setViewMode(QListView::ListMode);
      list_->setFlow(QListView::LeftToRight);
      list_->setIconSize(QSize(16, 16));
      list_->setGridSize(QSize(160, 20));
      list_->setWordWrap(false);
      break;
    case FileBrowserView::kList:
    case FileBrowserView::kDetails:
      list_->setViewMode(QListView::ListMode);
      list_->setFlow(QListView::TopToBottom);
      list_->setIconSize(QSize(16, 16));
      list_->setGridSize(QSize());
      list_->setWordWrap(false);
      break;
  }
  list_->setMovement(QListView::Static);
  list_->setResizeMode(QListView::Adjust);
  list_->setWrapping(true);
  list_->setUniformItemSizes(false);  // long names keep their width
  stack_->setCurrentWidget(view == FileBrowserView::kDetails ? static_cast<QWidget*>(details_)
                                                             : list_);
  if (had_focus) ActiveView()->setFocus();
}

QAbstractItemView* TbsOpenDlgForm::ActiveView() const {
  return stack_->currentWidget() == details_ ? static_cast<QAbstractItemView*>(details_) : list_;
}

bool TbsOpenDlgForm::IsFolderRow(int row) const {
  return model_->item(row, 0)->data(kIsFolderRole).toBool();
}

QString TbsOpenDlgForm::RowName(int row) const {
  return model_->item(row, 0)->text();
}

void TbsOpenDlgForm::OnSelectionChanged(const QItemSelection& selected) {
  // The file just selected names itself in the name box: the current entry when it is
  // one of them, else the first of them.
  const QModelIndex current = list_->selectionModel()->currentIndex();
  int chosen = -1;
  for (const QModelIndex& index : selected.indexes()) {
    if (index.column() != 0 || IsFolderRow(index.row())) continue;
    if (index.row() == current.row()) {
      chosen = index.row();
      break;
    }
    if (chosen < 0 || index.row() < chosen) chosen = index.row();
  }
  if (chosen >= 0) name_box_->setText(RowName(chosen));
}

void TbsOpenDlgForm::OnNameBoxEnter() {
  const NameBoxCommand command =
      InterpretNameBox(ToAnsi(name_box_->text()), ToAnsi(NativeFolder(folder_)), fs_);
  switch (command.action) {
    case NameBoxCommand::kSetMask:
      mask_ = name_box_->text();
      Refill();
      break;
    case NameBoxCommand::kShowFolder:
      name_box_->clear();
      ShowFolder(FromAnsi(command.folder), true);
      break;
    case NameBoxCommand::kConfirm:
      Confirm();
      break;
  }
}

void TbsOpenDlgForm::OnListEnter() {
  const QModelIndex current = ActiveView()->currentIndex();
  if (current.isValid() && IsFolderRow(current.row()) &&
      list_->selectionModel()->isSelected(model_->index(current.row(), 0))) {
    ShowFolder(QDir(folder_).filePath(RowName(current.row())), true);
    return;
  }
  Confirm();
}

void TbsOpenDlgForm::OnDoubleClick(const QModelIndex& index) {
  if (!index.isValid()) return;
  if (IsFolderRow(index.row())) {
    ShowFolder(QDir(folder_).filePath(RowName(index.row())), true);
  } else {
    Confirm();
  }
}

void TbsOpenDlgForm::OnBack() {
  if (history_.isEmpty()) return;
  const QString previous = history_.takeLast();
  ShowFolder(previous, false);
}

void TbsOpenDlgForm::OnUp() {
  QDir dir(folder_);
  if (dir.cdUp()) ShowFolder(dir.absolutePath(), true);
}

void TbsOpenDlgForm::OnNewFolder() {
  const QString name = T("新建文件夹");
  QDir dir(folder_);
  if (QFileInfo::exists(dir.filePath(name))) return;
  if (!dir.mkdir(name)) {
    throw Exception(text::A("创建文件夹失败") + ": " + ToAnsi(NativeFolder(dir.filePath(name))));
  }
  Refill();
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (IsFolderRow(row) && RowName(row) == name) {
      const QModelIndex index = model_->index(row, 0);
      list_->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      ActiveView()->scrollTo(index);
      break;
    }
  }
}

void TbsOpenDlgForm::Confirm() {
  BrowserState state;
  state.folder = ToAnsi(NativeFolder(folder_));
  state.name_box = ToAnsi(name_box_->text());
  const int current_row = list_->selectionModel()->currentIndex().row();
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (!list_->selectionModel()->isSelected(model_->index(row, 0))) continue;
    if (row == current_row) state.current = static_cast<int>(state.selected.size());
    state.selected.push_back({ToAnsi(RowName(row)), IsFolderRow(row)});
  }
  const std::optional<BrowserChoice> choice =
      ConfirmChoice(state, request_.check_file_exists,
                    [](const std::string& path) { return QFileInfo(FromAnsi(path)).isFile(); });
  if (!choice) return;
  result_.confirmed = true;
  result_.file_name = choice->file_name;
  result_.files = choice->files;
  accept();
}

}  // namespace

QtOpenDialogs::QtOpenDialogs(ErrorBoundary& boundary, IFileSystem& fs, QWidget* owner)
    : boundary_(boundary), fs_(fs), owner_(owner) {}

OpenDialogResult QtOpenDialogs::ShowOpenDialog(const OpenDialogRequest& request) {
  TbsOpenDlgForm form(request, boundary_, fs_, owner_);
  form.exec();
  return form.Result();
}

}  // namespace qm::qt
