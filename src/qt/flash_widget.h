// The Flash control on the Ruffle web player inside Qt WebEngine.
//
// The movie's ExternalInterface calls reach the host through window.prompt, which the
// page's owner answers synchronously: the movie waits inside its call while FlashCall
// runs. While it waits no page of the web engine can run a script, so calls into a
// movie made then (CallFunction, Play, ...) are held and delivered once the movie is
// free; the caller of a held CallFunction gets the empty reply. fscommands are raised
// with the movie free, after its current actions, in order with its ExternalInterface
// calls (one issued before a call is raised before it, inside that call).
// When the page's process ends, or the movie cannot be played, the control raises its
// Failure event; a call into the movie then answers with the empty reply.
#pragma once

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "platform/flash_control.h"

class QWebEngineView;

namespace qm::qt {

class FlashPage;

class FlashWidget : public QWidget, public IFlashControl {
  Q_OBJECT
 public:
  // How the movie fits the control: unscaled from the top left corner (the course
  // movie), or scaled to show all of it (the version movie).
  enum class Scale { kNoScaleTopLeft, kShowAll };

  // Whether the movie's sounds are heard. kNone is for a control that is never shown
  // (the version movie): no audio output runs for it as long as the program runs, and
  // its page starts once a shown control's movie has drawn its first frame.
  enum class Sound { kPlays, kNone };

  explicit FlashWidget(Scale scale, QWidget* parent = nullptr, Sound sound = Sound::kPlays);
  ~FlashWidget() override;

  void SetMovie(const std::u16string& path) override;
  bool Playing() override { return playing_; }
  void SetPlaying(bool playing) override;
  void Play() override { SetPlaying(true); }
  std::u16string GetVariable(const std::u16string& name) override;
  std::u16string CallFunction(const std::u16string& request) override;
  void SetReturnValue(const std::u16string& reply) override;
  // The widget that receives the control's mouse input; it changes when the web engine
  // replaces its view (inputWidgetChanged).
  const void* Window() const override { return InputWidget(); }
  QWidget* InputWidget() const;

  // True while a movie waits inside one of its own calls into the shell: this one, or
  // another control's. The web engine runs no script of any page until that call has
  // returned (the shell's handler runs inside the engine's task that carries the call).
  bool MovieBlocked() const;
  const QString& Host() const { return host_; }
  // Waits (running events) until the page and the player are ready for a movie.
  bool WaitUntilReady(int timeout_ms);
  // The value of a script expression on the control's page, for diagnostics and tests.
  // An error in the script, or a page that cannot run it, raises EFlashControlError.
  QVariant Evaluate(const QString& expression);

  // What the page's player says of itself, for the bridge trace: its console messages
  // (kind "info", "warning" or "error") and its first drawn frame ("first_frame").
  using PlayerEventHandler = std::function<void(const QString& kind, const QString& text)>;
  void OnPlayerEvent(PlayerEventHandler handler) { player_event_ = std::move(handler); }
  // Whether the player also logs its warnings (features it does not support, ...) to
  // the console; for movies loaded afterwards. Off by default.
  static void LogPlayerWarnings(bool on);

 signals:
  void inputWidgetChanged(QWidget* widget);

 private:
  friend class FlashPage;

  struct Result {
    bool ok = false;
    bool stopped = false;  // the player's process ended (or had ended) meanwhile
    QVariant value;
    QString error;
  };

  // From the page: the movie's calls. The answer to a call is "1" + reply or "0".
  QString MovieCall(const QString& request);
  void MovieCommand(const QString& payload);
  void RaiseCommands();
  void DeliverHeld();
  void WatchInputWidget();

  // Runs a script of the page and waits for its value. Never while the movie waits.
  Result Run(const QString& script);
  void RunLater(const QString& script);

  // Loads the page now, or (a soundless control while a shown one starts) later.
  void StartPage(bool now);
  // From the page: a movie drew its first frame.
  void FirstFrameDrawn();
  // The player failed; the owner hears of it from the message loop, once no movie waits
  // inside a call.
  void ReportFailure(Failure failure, const QString& detail);
  // After the process was lost: a new one for the next movie.
  void RestartPage();
  // A hidden control without a movie needs no player: its page is discarded, which ends
  // its process (no failure is reported); a movie loaded later starts the page again.
  void ReleasePage();

  // After a movie's call has returned: deliver what every control held.
  static void PostDeliveries();

  Scale scale_;
  QString host_;
  QWebEngineView* view_ = nullptr;
  FlashPage* page_ = nullptr;
  QPointer<QWidget> input_widget_;
  bool page_ready_ = false;
  bool page_failed_ = false;
  std::deque<QString> before_ready_;  // scripts waiting for the page
  QString movie_;                     // the loaded movie's path, or empty
  bool playing_ = false;
  bool soundless_ = false;
  bool page_started_ = false;
  bool first_frame_drawn_ = false;
  bool process_lost_ =
      false;               // the page's process ended or was released; a new movie starts a new one
  QString movie_problem_;  // why the loaded movie cannot be played, or empty
  std::deque<std::optional<std::u16string>*> replies_;  // one per call in progress
  std::deque<std::pair<QString, QString>> commands_;    // fscommands not yet raised
  std::deque<QString> held_;                            // scripts for when the movie is free
  bool delivery_posted_ = false;
  PlayerEventHandler player_event_;
};

}  // namespace qm::qt
