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

 protected:
  // For implementations: raise the events.
  void RaiseFSCommand(const std::u16string& command, const std::u16string& args) {
    if (fs_command_) fs_command_(command, args);
  }
  void RaiseFlashCall(const std::u16string& request) {
    if (flash_call_) flash_call_(request);
  }

 private:
  FSCommandHandler fs_command_;
  FlashCallHandler flash_call_;
};

}  // namespace qm
