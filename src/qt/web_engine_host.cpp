#include "qt/web_engine_host.h"

#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QByteArray>
#include <QCoreApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTimer>
#include <QtGlobal>

#include "platform/host_paths.h"
#include "qt/flash_scheme.h"
#include "qt/software_gl.h"

namespace qm::qt {

namespace {

// Adds `flag` to the Chromium switches the environment gives the web engine, unless
// they name that switch already (with a value of their own, for "--name=value").
void AddChromiumFlag(const QByteArray& flag) {
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  const int equals = flag.indexOf('=');
  const QByteArray name = equals < 0 ? flag : flag.left(equals);
  for (const QByteArray& given : flags.split(' ')) {
    if (given == name || given.startsWith(name + '=')) return;  // the user's own wins
  }
  if (!flags.isEmpty()) flags += ' ';
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + flag);
}

bool g_set_gl_integration = false;  // QT_XCB_GL_INTEGRATION is ours, for the start only

// How long after a burst of work its freed memory goes back (the page's own requests
// that follow a first frame are over by then).
constexpr int kReturnFreedMemoryMs = 3000;

}  // namespace

void PrepareWebEngineHost(int argc, char** argv) {
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  if (qEnvironmentVariableIsEmpty("QTWEBENGINEPROCESS_PATH")) {
    // Our own executable for the web engine's processes gives back what they free.
    const std::string process = FindWebEngineProcess(DataFolder());
    if (!process.empty()) qputenv("QTWEBENGINEPROCESS_PATH", QByteArray::fromStdString(process));
  }
  // Not set: glibc's trim threshold at 128 KiB (here and, through GLIBC_TUNABLES, in the
  // web engine's processes) nearly doubled the CPU of a moving movie in the start-up
  // benchmark, and took nothing off one control's tree (324 against 308-313 MB).
  AddChromiumFlag("--disable-features=AudioServiceOutOfProcess");
  // The web engine's services run in this process (network, GPU, audio): nothing is left
  // for the zygote of unsandboxed processes, one process (about 16 MB) that only waits.
  AddChromiumFlag("--no-unsandboxed-zygote");
  if (OnlySoftwareGl(ReadGlFacts(argc, argv))) {
    // Mesa's software GL would only draw what Chromium and Qt Quick draw as well in
    // software, after loading LLVM into the program.
    AddChromiumFlag("--disable-gpu");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
      qputenv("QT_XCB_GL_INTEGRATION", "none");
      g_set_gl_integration = true;
    }
  }
  FlashScheme::Register();
}

void WebEngineHostStarted() {
  // The X connection has chosen its GL (none) while the application object was made.
  if (g_set_gl_integration) qunsetenv("QT_XCB_GL_INTEGRATION");
  g_set_gl_integration = false;
}

void ReturnFreedMemoryLater() {
#if defined(__GLIBC__)
  if (QCoreApplication::instance() == nullptr) return;
  // glibc gives back only what lies free at the top of its heaps; what a start-up freed
  // among what stays in use is kept, about 17 MB of this process after a course's start.
  QTimer::singleShot(kReturnFreedMemoryMs, QCoreApplication::instance(), [] { ::malloc_trim(0); });
#endif
}

}  // namespace qm::qt
