// How long the picker's views take to show a large folder, against a plain listing of the
// same folder measured in the same run.
//
//   views: a linked folder tree and file list, shown, with AutoRefresh on as the picker
//          has them; from setting the tree's root until the list is filled and the event
//          loop is free again (every pending paint done);
//   plain: reading the folder's file names with std::filesystem::directory_iterator;
//   qdir:  QDir::entryList of the files, for reference.
//
// The folder holds 10 000 files and a few folders. Prints the medians of a few rounds and
// the ratio views / plain (the target is at most 5). Usage: bench_picker_list [rounds]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "headless/scripted_ports.h"
#include "qt/qt_shell_views.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Least(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

// Lets the event loop run until everything posted so far (layouts, paints) is done.
void Settle() {
  QEventLoop loop;
  QTimer::singleShot(0, &loop, &QEventLoop::quit);
  loop.exec();
}

void MakeFolder(const fs::path& folder) {
  fs::create_directories(folder);
  const char* kinds[] = {".mp3", ".doc", ".swf", ".jpg", ".txt"};
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(folder / ("Lesson " + std::to_string(i / 40 + 1) + " part " +
                            std::to_string(i % 40 + 1) + kinds[i % 5]));
  }
  for (int i = 0; i < 5; ++i) fs::create_directory(folder / ("Unit " + std::to_string(i + 1)));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qm::text::SetAnsiCodePage("UTF-8");
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  qm::testing::TempDir dir;
  const fs::path folder = dir.Path() / "resources";
  MakeFolder(folder);
  const std::string root = folder.string();

  qm::headless::Journal journal;
  qm::headless::ScriptedDialogs dialogs(journal);
  qm::ErrorBoundary boundary(dialogs, "bench");

  std::vector<double> plain_ms, qdir_ms, fill_ms, views_ms;
  std::size_t plain_count = 0, qdir_count = 0, shown_count = 0;
  for (int round = 0; round < rounds; ++round) {
    QElapsedTimer clock;
    clock.start();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    plain_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    plain_count = names.size();

    clock.restart();
    const QStringList entries = QDir(QString::fromStdString(root)).entryList(QDir::Files);
    qdir_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    qdir_count = static_cast<std::size_t>(entries.size());

    {
      QWidget window;
      auto* layout = new QHBoxLayout(&window);
      auto* tree = new qm::qt::QtFolderTree(boundary);
      auto* list = new qm::qt::QtFileList(boundary);
      layout->addWidget(tree, 1);
      layout->addWidget(list, 3);
      qm::qt::LinkViews(*tree, *list);
      tree->SetAutoRefresh(true);
      list->SetAutoRefresh(true);
      window.resize(687, 449);
      window.show();
      Settle();

      clock.restart();
      tree->SetRoot(root);
      fill_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
      Settle();
      views_ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
      shown_count = list->Names().size();
    }
    Settle();
  }

  if (shown_count != plain_count || qdir_count != plain_count || !journal.Entries().empty()) {
    std::fprintf(stderr, "views showed %zu files, the plain listing %zu, QDir %zu\n", shown_count,
                 plain_count, qdir_count);
    return 1;
  }
  const double plain = Median(plain_ms);
  const double views = Median(views_ms);
  std::printf("picker list, %d files, %d rounds:           median      least\n", kFiles, rounds);
  std::printf("  plain listing (std::filesystem)   %8.2f ms %8.2f ms\n", plain, Least(plain_ms));
  std::printf("  QDir::entryList                   %8.2f ms %8.2f ms\n", Median(qdir_ms),
              Least(qdir_ms));
  std::printf("  linked tree + list filled, idle   %8.2f ms %8.2f ms\n", views, Least(views_ms));
  std::printf("    of which reading and filling    %8.2f ms %8.2f ms\n", Median(fill_ms),
              Least(fill_ms));
  std::printf("  ratio views / plain listing       %8.2f    %8.2f    (target <= 5)%s\n",
              views / plain, Least(views_ms) / Least(plain_ms),
              views / plain <= 5.0 ? "" : "  ABOVE TARGET");
  return 0;
}
