// What the shell requires of the Flash player control. All texts are UTF-16. A call
// the control refuses raises EFlashControlError with the control's description.
#pragma once

#include <functional>
#include <string>

namespace qm {

class IFlashControl {
 public:
  using FSCommandHandler =
      std::function<void(const std::u16string& command, const std::u16string& args)>;
  using FlashCallHandler = std::function<void(const std::u16string& request)>;
  // How the player failed: the process behind it ended (a crash, a kill, lack of
  // memory), or the movie cannot be played (not a movie, cut short, a player panic).
  enum class Failure { kProcessLost, kMovieFailed };
  using FailureHandler = std::function<void(Failure failure, const std::u16string& detail)>;

  virtual ~IFlashControl() = default;

  // Loads the movie at the full path and starts it; the empty text unloads.
  virtual void SetMovie(const std::u16string& path) = 0;
  virtual bool Playing() = 0;
  virtual void SetPlaying(bool playing) = 0;
  virtual void Play() = 0;
  virtual std::u16string GetVariable(const std::u16string& name) = 0;
  // Runs a movie function (request in the ExternalInterface XML) and returns its reply.
  virtual std::u16string CallFunction(const std::u16string& request) = 0;
  // The result of the movie's ExternalInterface call in progress.
  virtual void SetReturnValue(const std::u16string& reply) = 0;
  // The window that receives the control's mouse input (what the message hook sees).
  virtual const void* Window() const { return this; }

  // Events. FlashCall is raised while the movie waits inside its call.
  void OnFSCommand(FSCommandHandler handler) { fs_command_ = std::move(handler); }
  void OnFlashCall(FlashCallHandler handler) { flash_call_ = std::move(handler); }
  // Raised from the message loop, never inside a call of the movie. After kProcessLost
  // the control shows nothing until a movie is loaded again.
  void OnFailure(FailureHandler handler) { failure_ = std::move(handler); }

 protected:
  // For implementations: raise the events.
  void RaiseFSCommand(const std::u16string& command, const std::u16string& args) {
    if (fs_command_) fs_command_(command, args);
  }
  void RaiseFlashCall(const std::u16string& request) {
    if (flash_call_) flash_call_(request);
  }
  void RaiseFailure(Failure failure, const std::u16string& detail) {
    if (failure_) failure_(failure, detail);
  }

 private:
  FSCommandHandler fs_command_;
  FlashCallHandler flash_call_;
  FailureHandler failure_;
};

}  // namespace qm
