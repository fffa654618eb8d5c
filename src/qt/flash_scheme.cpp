#include "qt/flash_scheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <algorithm>
#include <string>

#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "swf/avm1.h"
#include "text/codepage.h"

namespace qm::qt {

namespace {

constexpr char kScheme[] = "qm";

QSet<QString>& MainMovies() {
  static QSet<QString> movies;
  return movies;
}

std::function<void(const QString&)>& MissingFileHandler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

QByteArray ContentType(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "wasm") return "application/wasm";
  if (suffix == "js") return "text/javascript";
  if (suffix == "html") return "text/html";
  if (suffix == "swf") return "application/x-shockwave-flash";
  if (suffix == "ttf") return "font/ttf";
  return "application/octet-stream";
}

// Where a request's path is found: the page's own files in the resources, Ruffle and
// the font in the program's data folder, everything else in the file system.
QString LocalPath(const QString& url_path) {
  if (url_path.startsWith("/web/")) return ":/qm" + url_path;
  const QString data = QString::fromStdString(DataFolder());
  if (url_path.startsWith("/ruffle/")) {
    const QString name = url_path.mid(8);
    if (name.contains('/') || name.startsWith('.') || data.isEmpty()) return {};
    return data + "/ruffle/" + name;
  }
  if (url_path == "/font/cjk.ttf") return data.isEmpty() ? QString() : data + "/fonts/device.ttf";
  if (url_path.startsWith("/fs/")) return url_path.mid(3);
  return {};
}

}  // namespace

void FlashScheme::Register() {
  QWebEngineUrlScheme scheme(kScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                  QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled |
                  QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
  QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* FlashScheme::Profile() {
  static QWebEngineProfile* profile = [] {
    auto* p = new QWebEngineProfile(QCoreApplication::instance());  // off the record
    p->installUrlSchemeHandler(kScheme, new FlashScheme(p));
    return p;
  }();
  return profile;
}

QString FlashScheme::NewHost() {
  static int count = 0;
  return QStringLiteral("c%1").arg(++count);
}

QString FlashScheme::FileUrl(const QString& host, const QString& path) {
  return QStringLiteral("qm://%1/fs").arg(host) +
         QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/"));
}

QString FlashScheme::PageUrl(const QString& host) {
  return QStringLiteral("qm://%1/web/player.html").arg(host);
}

QString FlashScheme::FontUrl(const QString& host) {
  return QStringLiteral("qm://%1/font/cjk.ttf").arg(host);
}

void FlashScheme::MarkMainMovie(const QString& path) {
  MainMovies().insert(QFileInfo(path).absoluteFilePath());
}

void FlashScheme::OnMissingFile(std::function<void(const QString& path)> handler) {
  MissingFileHandler() = std::move(handler);
}

void FlashScheme::requestStarted(QWebEngineUrlRequestJob* job) {
  const QUrl url = job->requestUrl();
  // Only the controls' own pages may read through the scheme.
  if (job->initiator().isValid() && job->initiator().scheme() != kScheme) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  const QString requested = LocalPath(url.path(QUrl::FullyDecoded));
  // A movie's own loads find the course's files as the shell's services do: in any
  // letter case, with "\" as a separator, the learner's copy first.
  QString path = requested;
  if (requested.startsWith('/')) {
    std::string disk = requested.toStdString();
    std::replace(disk.begin(), disk.end(), '\\', '/');
    path = QString::fromStdString(SystemFileSystem(text::Ansi())->FindNative(disk));
  }
  QFile file(path);
  if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    if (url.path().startsWith("/fs/") && MissingFileHandler()) MissingFileHandler()(requested);
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  QByteArray data = file.readAll();
  if (!path.startsWith(':') && MainMovies().contains(QFileInfo(requested).absoluteFilePath())) {
    const swf::Bytes original(data.begin(), data.end());
    if (const auto hooked = swf::AddHostHooks(original)) {
      data = QByteArray(reinterpret_cast<const char*>(hooked->data()),
                        static_cast<qsizetype>(hooked->size()));
    }
  }
  auto* buffer = new QBuffer(job);
  buffer->setData(data);
  buffer->open(QIODevice::ReadOnly);
  job->reply(ContentType(path), buffer);
}

}  // namespace qm::qt
