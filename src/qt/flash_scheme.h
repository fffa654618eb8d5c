// The "qm:" scheme through which the Flash control's page reaches everything it loads:
// its own page and glue, the Ruffle player, the CJK font and the movies with their
// folders. One origin, served offline.
#pragma once

#include <QString>
#include <QWebEngineUrlSchemeHandler>
#include <functional>

class QWebEngineProfile;

namespace qm::qt {

class FlashScheme : public QWebEngineUrlSchemeHandler {
  Q_OBJECT
 public:
  // Registers the scheme with the web engine; before the QApplication exists.
  static void Register();
  // The profile every Flash control's page uses, with the scheme installed.
  static QWebEngineProfile* Profile();

  // Each control has a host of its own ("c1", "c2", ...): a site of its own, which the
  // web engine gives a renderer process of its own.
  static QString NewHost();
  // The address under `host` at which the file at `path` is served.
  static QString FileUrl(const QString& host, const QString& path);
  static QString PageUrl(const QString& host);
  static QString FontUrl(const QString& host);

  // Movies served with the shell's timeline hooks added to their first frame.
  static void MarkMainMovie(const QString& path);
  // Told the file a movie's own load asked for when it is not there (the path as asked
  // for, on disk); nobody by default.
  static void OnMissingFile(std::function<void(const QString& path)> handler);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
};

}  // namespace qm::qt
