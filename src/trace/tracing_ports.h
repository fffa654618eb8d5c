// Ports that pass everything to the real ones and write each event to the bridge trace:
// the Flash control (the movie's requests and fscommands, the replies, calls into the
// movie, variables read, failures), the dialogs (each one and its answer), and the media
// control interface (each command and each notification).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/flash_control.h"
#include "platform/media_control.h"
#include "trace/trace_writer.h"

namespace qm::trace {

// The control `inner` under the name `control` ("flash1", "flashversion", "player").
// Owners set their handlers on this object; the inner control's events reach them
// through it.
class TracingFlashControl : public IFlashControl {
 public:
  TracingFlashControl(IFlashControl& inner, std::string control, TraceWriter& trace);

  void SetMovie(const std::u16string& path) override;
  bool Playing() override { return inner_.Playing(); }
  void SetPlaying(bool playing) override;
  void Play() override;
  std::u16string GetVariable(const std::u16string& name) override;
  std::u16string CallFunction(const std::u16string& request) override;
  void SetReturnValue(const std::u16string& reply) override;
  const void* Window() const override { return inner_.Window(); }

 private:
  nlohmann::json Fields() const { return {{"control", control_}}; }

  IFlashControl& inner_;
  std::string control_;
  TraceWriter& trace_;
  struct Call {
    std::string command;
    std::int64_t start = 0;
    bool replied = false;
  };
  std::vector<Call> calls_;  // the movie's requests in progress, innermost last
};

// The command name and the arguments of an ExternalInterface request or call text, as
// the shell reads them; an unreadable text gives an empty name and the reason.
struct ReadRequest {
  std::string command;
  std::vector<std::string> arguments;
  std::string error;
};
ReadRequest ReadRequestText(std::u16string_view text);

// Every dialog as {"event": "dialog", "dialog": "open", "type", "caption", "text"} when
// it opens and with "dialog": "closed" and its "answer" (the button's result, the text
// entered, or null) once it has closed; a progress window when it opens. The same lines
// as QM_DIALOG_LOG writes, with the answer.
class TracingDialogs : public IDialogs {
 public:
  TracingDialogs(IDialogs& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}

  int ShowMessageDialog(const MessageDialogRequest& request) override;
  void ShowPlainMessage(const std::string& text, const std::string& caption) override;
  int SystemMessageBox(const std::string& text, const std::string& caption,
                       unsigned flags) override;
  void ShowErrorReport(const std::string& text, const std::string& caption) override;
  std::optional<std::string> ShowInputDialog(const InputDialogRequest& request) override;
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& request,
      std::function<void(ProgressCloseReason)> on_user_close) override;

 private:
  void Write(const char* state, const char* type, const std::string& caption,
             const std::string& text, const nlohmann::json* answer = nullptr);

  IDialogs& inner_;
  TraceWriter& trace_;
};

// Every device command as {"event": "media", "command", "flags", "device", "name",
// "result"} and every notification as {"event": "media_notify", "code", "device"}.
class NotifyRelay;
class TracingMediaControl : public IMediaControl {
 public:
  TracingMediaControl(IMediaControl& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}
  std::uint32_t SendCommand(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override;
  std::optional<std::string> GetErrorString(std::uint32_t code) override {
    return inner_.GetErrorString(code);
  }

 private:
  IMediaControl& inner_;
  TraceWriter& trace_;
  // The windows that stand between the device and the callback windows it was given,
  // kept as long as the trace's ports live.
  std::vector<std::shared_ptr<NotifyRelay>> relays_;
};

// The name of a media notification code ("successful", "superseded", ...).
std::string MciNotifyName(std::uint32_t code);

}  // namespace qm::trace
