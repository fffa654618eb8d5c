#include "qt/web_engine_host.h"

#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

#include "qt/flash_scheme.h"

namespace qm::qt {

namespace {

// Adds `flag` to the Chromium switches the environment gives the web engine.
void AddChromiumFlag(const QByteArray& flag) {
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains(flag.left(flag.indexOf('=') + 1))) return;  // the user's own wins
  if (!flags.isEmpty()) flags += ' ';
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + flag);
}

}  // namespace

void PrepareWebEngineHost() {
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  // Not set: glibc's trim threshold at 128 KiB (here and, through GLIBC_TUNABLES, in the
  // web engine's processes) took 50 MB off one control's tree but nearly doubled the CPU
  // of a moving movie in the start-up benchmark.
  AddChromiumFlag("--disable-features=AudioServiceOutOfProcess");
  FlashScheme::Register();
}

}  // namespace qm::qt
