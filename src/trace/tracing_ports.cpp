#include "trace/tracing_ports.h"

#include <algorithm>

#include "bridge/request.h"
#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::trace {

namespace {

std::string FailureName(IFlashControl::Failure failure) {
  return failure == IFlashControl::Failure::kProcessLost ? "process_lost" : "movie_failed";
}

nlohmann::json RequestFields(const ReadRequest& read) {
  nlohmann::json fields = {{"command", read.command}, {"arguments", read.arguments}};
  if (!read.error.empty()) fields["error"] = read.error;
  return fields;
}

}  // namespace

ReadRequest ReadRequestText(std::u16string_view text) {
  ReadRequest read;
  try {
    const auto request = bridge::Request::Read(text, text::Ansi());
    read.command = AnsiText(request.CommandName());
    // Arguments are read as the commands read them, one after another until there is
    // none (or no arguments element at all).
    for (int i = 0;; ++i) {
      try {
        read.arguments.push_back(AnsiText(request.Argument(i)));
      } catch (const EBridgeError&) {
        break;
      }
    }
  } catch (const std::exception& e) {
    read.error = e.what();
  }
  return read;
}

TracingFlashControl::TracingFlashControl(IFlashControl& inner, std::string control,
                                         TraceWriter& trace)
    : inner_(inner), control_(std::move(control)), trace_(trace) {
  inner_.OnFlashCall([this](const std::u16string& request) {
    const ReadRequest read = ReadRequestText(request);
    auto fields = RequestFields(read);
    fields["control"] = control_;
    fields["text"] = Utf16Text(request);
    trace_.Write("request", fields);
    calls_.push_back({read.command, trace_.Now(), false});
    struct Pop {
      TracingFlashControl* self;
      ~Pop() {
        const Call call = self->calls_.back();
        self->calls_.pop_back();
        if (!call.replied) {
          self->trace_.Write("no_reply", {{"control", self->control_},
                                          {"command", call.command},
                                          {"ms", self->trace_.Now() - call.start}});
        }
      }
    } pop{this};
    RaiseFlashCall(request);
  });
  inner_.OnFSCommand([this](const std::u16string& command, const std::u16string& args) {
    trace_.Write(
        "fscommand",
        {{"control", control_}, {"command", Utf16Text(command)}, {"argument", Utf16Text(args)}});
    RaiseFSCommand(command, args);
  });
  inner_.OnFailure([this](Failure failure, const std::u16string& detail) {
    trace_.Write(
        "failure",
        {{"control", control_}, {"kind", FailureName(failure)}, {"detail", Utf16Text(detail)}});
    RaiseFailure(failure, detail);
  });
}

void TracingFlashControl::SetMovie(const std::u16string& path) {
  auto fields = Fields();
  fields["path"] = Utf16Text(path);
  trace_.Write("movie", fields);
  inner_.SetMovie(path);
}

void TracingFlashControl::SetPlaying(bool playing) {
  auto fields = Fields();
  fields["playing"] = playing;
  trace_.Write("set_playing", fields);
  inner_.SetPlaying(playing);
}

void TracingFlashControl::Play() {
  trace_.Write("play", Fields());
  inner_.Play();
}

std::u16string TracingFlashControl::GetVariable(const std::u16string& name) {
  auto fields = Fields();
  fields["name"] = Utf16Text(name);
  try {
    const std::u16string value = inner_.GetVariable(name);
    fields["value"] = Utf16Text(value);
    trace_.Write("get_variable", fields);
    return value;
  } catch (const std::exception& e) {
    fields["error"] = e.what();
    trace_.Write("get_variable", fields);
    throw;
  }
}

std::u16string TracingFlashControl::CallFunction(const std::u16string& request) {
  const ReadRequest read = ReadRequestText(request);
  auto fields = RequestFields(read);
  fields["control"] = control_;
  fields["function"] = fields["command"];
  fields.erase("command");
  const std::int64_t start = trace_.Now();
  try {
    const std::u16string reply = inner_.CallFunction(request);
    fields["reply"] = Utf16Text(reply);
    fields["ms"] = trace_.Now() - start;
    trace_.Write("call", fields);
    return reply;
  } catch (const std::exception& e) {
    fields["error"] = e.what();
    fields["ms"] = trace_.Now() - start;
    trace_.Write("call", fields);
    throw;
  }
}

void TracingFlashControl::SetReturnValue(const std::u16string& reply) {
  auto fields = Fields();
  if (!calls_.empty()) {
    fields["command"] = calls_.back().command;
    fields["ms"] = trace_.Now() - calls_.back().start;
    calls_.back().replied = true;
  }
  fields["reply"] = Utf16Text(reply);
  trace_.Write("reply", fields);
  inner_.SetReturnValue(reply);
}

// ---------------------------------------------------------------- dialogs

void TracingDialogs::Write(const char* state, const char* type, const std::string& caption,
                           const std::string& text, const nlohmann::json* answer) {
  nlohmann::json fields = {
      {"dialog", state}, {"type", type}, {"caption", AnsiText(caption)}, {"text", AnsiText(text)}};
  if (answer != nullptr) fields["answer"] = *answer;
  trace_.Write("dialog", fields);
}

int TracingDialogs::ShowMessageDialog(const MessageDialogRequest& r) {
  Write("open", "message", r.caption, r.text);
  const int result = inner_.ShowMessageDialog(r);
  const nlohmann::json answer = result;
  Write("closed", "message", r.caption, r.text, &answer);
  return result;
}

void TracingDialogs::ShowPlainMessage(const std::string& text, const std::string& caption) {
  Write("open", "plain", caption, text);
  inner_.ShowPlainMessage(text, caption);
  const nlohmann::json answer = nullptr;
  Write("closed", "plain", caption, text, &answer);
}

int TracingDialogs::SystemMessageBox(const std::string& text, const std::string& caption,
                                     unsigned flags) {
  Write("open", "system", caption, text);
  const int result = inner_.SystemMessageBox(text, caption, flags);
  const nlohmann::json answer = result;
  Write("closed", "system", caption, text, &answer);
  return result;
}

void TracingDialogs::ShowErrorReport(const std::string& text, const std::string& caption) {
  Write("open", "error_report", caption, text);
  inner_.ShowErrorReport(text, caption);
  const nlohmann::json answer = nullptr;
  Write("closed", "error_report", caption, text, &answer);
}

std::optional<std::string> TracingDialogs::ShowInputDialog(const InputDialogRequest& r) {
  Write("open", "input", r.caption, r.prompt);
  auto result = inner_.ShowInputDialog(r);
  const nlohmann::json answer = result ? nlohmann::json(AnsiText(*result)) : nullptr;
  Write("closed", "input", r.caption, r.prompt, &answer);
  return result;
}

std::unique_ptr<IProgressWindow> TracingDialogs::ShowProgressWindow(
    const ProgressDialogRequest& r, std::function<void(ProgressCloseReason)> on_user_close) {
  Write("open", "progress", r.caption, r.label);
  return inner_.ShowProgressWindow(r, std::move(on_user_close));
}

// ---------------------------------------------------------------- media

std::string MciNotifyName(std::uint32_t code) {
  switch (code) {
    case kMciNotifySuccessful:
      return "successful";
    case kMciNotifySuperseded:
      return "superseded";
    case kMciNotifyAborted:
      return "aborted";
    case kMciNotifyFailure:
      return "failure";
    default:
      return std::to_string(code);
  }
}

// Stands between the device and the window it reports to.
class NotifyRelay : public IMciNotifyWindow {
 public:
  NotifyRelay(MciCallback target, TraceWriter& trace) : target_(std::move(target)), trace_(trace) {}
  void OnMciNotify(std::uint32_t code, std::uint16_t device) override {
    trace_.Write("media_notify", {{"code", MciNotifyName(code)}, {"device", device}});
    if (const auto window = target_.lock()) window->OnMciNotify(code, device);
  }
  bool Gone() const { return target_.expired(); }
  bool For(const MciCallback& target) const {
    return !target_.owner_before(target) && !target.owner_before(target_);
  }

 private:
  MciCallback target_;
  TraceWriter& trace_;
};

std::uint32_t TracingMediaControl::SendCommand(std::uint16_t device, std::uint32_t command,
                                               std::uint32_t flags, MciParms& parms) {
  const MciCallback original = parms.dwCallback;
  if ((flags & kMciNotify) != 0 && !original.expired()) {
    // One relay per window that hears from the device, kept while that window lives.
    std::erase_if(relays_, [](const auto& relay) { return relay->Gone(); });
    auto relay = std::find_if(relays_.begin(), relays_.end(),
                              [&](const auto& r) { return r->For(original); });
    if (relay == relays_.end()) {
      relays_.push_back(std::make_shared<NotifyRelay>(original, trace_));
      relay = relays_.end() - 1;
    }
    parms.dwCallback = *relay;
  }
  const std::uint32_t result = inner_.SendCommand(device, command, flags, parms);
  parms.dwCallback = original;
  const std::string name = command == kMciOpen   ? parms.lpstrElementName
                           : command == kMciSave ? parms.lpfilename
                                                 : std::string();
  nlohmann::json fields = {{"command", MciCommandName(command)},
                           {"flags", flags},
                           {"device", command == kMciOpen ? parms.wDeviceID : device},
                           {"name", AnsiText(name)},
                           {"result", result}};
  if (command == kMciStatus) fields["value"] = parms.dwReturn;
  if (result != 0) {
    if (const auto error = inner_.GetErrorString(result)) fields["error"] = AnsiText(*error);
  }
  trace_.Write("media", fields);
  return result;
}

}  // namespace qm::trace
