#include "qt/web_engine_host.h"

#include <malloc.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

#include "qt/flash_scheme.h"

namespace qm::qt {

namespace {

constexpr int kTrimThresholdBytes = 128 * 1024;

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
  if (!qEnvironmentVariableIsSet("GLIBC_TUNABLES")) {
    ::mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
    qputenv("GLIBC_TUNABLES",
            "glibc.malloc.trim_threshold=" + QByteArray::number(kTrimThresholdBytes));
  }
  AddChromiumFlag("--disable-features=AudioServiceOutOfProcess");
  FlashScheme::Register();
}

}  // namespace qm::qt
