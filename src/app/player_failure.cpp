// When the course movie's player fails. The original control never lost its player;
// here the web engine's process behind it can end (a crash, a kill, lack of memory),
// and a movie copied badly from its CD cannot be played: a learner must not be left
// with a blank borderless window and no way out.
#include "app/main_form.h"
#include "text/codepage.h"

namespace qm {

void TForm1::flash1Failure(IFlashControl::Failure failure, const std::u16string& detail) {
  const std::string movie = app_dir_ + "main.swf";
  if (failure == IFlashControl::Failure::kMovieFailed) {
    std::string text = text::A("课程无法播放：") + movie;
    if (!detail.empty()) text += "\n" + text::Ansi().FromUtf16(detail);
    text += text::A("\nThe course movie cannot be played.");
    ports_.dialogs.ShowPlainMessage(text, AppTitle());
    ports_.process.Terminate(kPlayerFailedExitCode);
    return;
  }
  // The player's process was lost: the course starts again at its first frame (its
  // saved files and settings stay as they are), unless it was lost a moment ago too.
  const std::int64_t now = ports_.windows.TickCount();
  if (player_lost_at_ && now - *player_lost_at_ < kPlayerLossWindowMs) {
    ports_.dialogs.ShowPlainMessage(
        text::A("课程再次意外停止，程序将关闭。\nThe course stopped unexpectedly again and "
                "will now close."),
        AppTitle());
    ports_.process.Terminate(kPlayerFailedExitCode);
    return;
  }
  player_lost_at_ = now;
  ports_.flash1.SetMovie(text::Ansi().ToUtf16(movie));
  ports_.dialogs.ShowPlainMessage(
      text::A("课程意外停止，已重新开始。\nThe course stopped unexpectedly and was restarted."),
      AppTitle());
}

}  // namespace qm
