#include "headless/scripted_ports.h"

#include <algorithm>

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::headless {

void Journal::Add(Json entry) {
  if (live) live(entry);
  entries_.push_back(std::move(entry));
}

std::string JsonText(const std::string& ansi) {
  return text::Ansi().ToUtf8(ansi);
}

namespace {
std::string Utf8(const std::u16string& s) {
  return text::Utf16ToUtf8(s);
}
}  // namespace

// ---------------------------------------------------------------- Flash control

void ScriptedFlashControl::SetMovie(const std::u16string& path) {
  movie_ = path;
  playing_ = !path.empty();
  variables_.clear();
}

std::u16string ScriptedFlashControl::GetVariable(const std::u16string& name) {
  if (busy) throw EFlashControlBusy("The movie is busy");
  const auto it = variables_.find(name);
  if (it == variables_.end()) {
    throw EFlashControlError(text::Ansi().FromUtf8("The movie has no variable " + Utf8(name)));
  }
  return it->second;
}

std::u16string ScriptedFlashControl::CallFunction(const std::u16string& request) {
  journal_.Add({{"movie_call", Utf8(request)}});
  return movie_function ? movie_function(request) : std::u16string();
}

std::optional<std::u16string> ScriptedFlashControl::Call(const std::u16string& request) {
  // Nested calls (a movie call raised from inside a handler) keep the outer reply.
  std::optional<std::u16string> outer = std::move(reply_);
  reply_.reset();
  RaiseFlashCall(request);
  std::optional<std::u16string> reply = std::move(reply_);
  reply_ = std::move(outer);
  return reply;
}

// ---------------------------------------------------------------- window system

struct ManualWindowSystem::TimerState {
  int interval = 0;
  bool enabled = false;
  bool alive = true;
  std::int64_t due = 0;
  std::uint64_t order = 0;  // creation order breaks ties between timers due together
  std::function<void()> on_timer;
  ManualWindowSystem* owner = nullptr;
};

namespace {

class ManualTimer : public ITimer {
 public:
  explicit ManualTimer(std::shared_ptr<ManualWindowSystem::TimerState> state)
      : state_(std::move(state)) {}
  ~ManualTimer() override { state_->alive = false; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return state_->enabled; }
  void SetInterval(int ms) override;
  int Interval() const override { return state_->interval; }

 private:
  std::shared_ptr<ManualWindowSystem::TimerState> state_;
};

}  // namespace

ManualWindowSystem::ManualWindowSystem(Journal& journal) : journal_(journal) {}

ManualWindowSystem::~ManualWindowSystem() {
  for (auto& timer : timers_) timer->owner = nullptr;
}

std::unique_ptr<ITimer> ManualWindowSystem::CreateTimer(int interval_ms, bool enabled,
                                                        std::function<void()> on_timer) {
  auto state = std::make_shared<TimerState>();
  state->interval = interval_ms;
  state->on_timer = std::move(on_timer);
  state->order = next_order_++;
  state->owner = this;
  timers_.push_back(state);
  auto timer = std::make_unique<ManualTimer>(state);
  timer->SetEnabled(enabled);
  return timer;
}

void ManualTimer::SetEnabled(bool enabled) {
  // As with window timers, enabling (again) starts a full interval from now.
  if (enabled && state_->owner != nullptr) {
    state_->due = state_->owner->TickCount() + std::max(state_->interval, 1);
  }
  state_->enabled = enabled;
}

void ManualTimer::SetInterval(int ms) {
  state_->interval = ms;
  SetEnabled(state_->enabled);
}

void ManualWindowSystem::Post(std::function<void()> message) {
  std::lock_guard<std::mutex> lock(posted_mutex_);
  posted_.push_back(std::move(message));
}

void ManualWindowSystem::RunPosted() {
  for (;;) {
    std::function<void()> message;
    {
      std::lock_guard<std::mutex> lock(posted_mutex_);
      if (posted_.empty()) return;
      message = std::move(posted_.front());
      posted_.pop_front();
    }
    message();
  }
}

std::shared_ptr<ManualWindowSystem::TimerState> ManualWindowSystem::NextDue(std::int64_t until) {
  std::erase_if(timers_, [](const auto& t) { return !t->alive; });
  std::shared_ptr<TimerState> next;
  for (const auto& timer : timers_) {
    if (!timer->enabled || timer->due > until) continue;
    if (!next || timer->due < next->due || (timer->due == next->due && timer->order < next->order))
      next = timer;
  }
  return next;
}

void ManualWindowSystem::ProcessMessages() {
  RunPosted();
  while (auto timer = NextDue(now_)) {
    timer->due = now_ + std::max(timer->interval, 1);
    timer->on_timer();
    RunPosted();
  }
}

void ManualWindowSystem::Advance(std::int64_t ms) {
  const std::int64_t until = now_ + std::max<std::int64_t>(ms, 0);
  RunPosted();
  while (auto timer = NextDue(until)) {
    now_ = std::max(now_, timer->due);
    timer->due = now_ + std::max(timer->interval, 1);
    timer->on_timer();
    RunPosted();
  }
  now_ = until;
}

bool ManualWindowSystem::Deliver(const WindowMessage& message) {
  return !(hook_ && hook_(message));
}

void ManualWindowSystem::DragMainWindow() {
  journal_.Add({{"window", "drag"}});
}

void ManualWindowSystem::SetMainWindowState(WindowState state) {
  state_ = state;
  const char* name = state == WindowState::kMinimized   ? "minimize"
                     : state == WindowState::kMaximized ? "maximize"
                                                        : "restore";
  journal_.Add({{"window", name}});
}

int ManualWindowSystem::ShowModal(IModalForm& form) {
  Json entry = {{"name", form.FormName()}};
  for (const auto& [name, value] : form.Describe()) entry[name] = JsonText(value);
  journal_.Add({{"form", entry}});
  return 2;
}

// ---------------------------------------------------------------- dialogs

std::optional<int> ScriptedDialogs::TakeNumber() {
  if (answers_.empty() || !answers_.front().is_number_integer()) return std::nullopt;
  const int value = answers_.front().get<int>();
  answers_.pop_front();
  return value;
}

int ScriptedDialogs::ShowMessageDialog(const MessageDialogRequest& request) {
  if (while_open) while_open();
  int result = 2;  // closed by the window's close command
  if (const auto answer = TakeNumber()) {
    const bool offered =
        *answer == 2 || std::any_of(request.button_list.begin(), request.button_list.end(),
                                    [&](const DialogButton& b) { return b.result == *answer; });
    if (offered) {
      result = *answer;
    } else {
      journal_.Add({{"error", "answer " + std::to_string(*answer) +
                                  " is not a button of the message dialog; closed instead"}});
    }
  }
  journal_.Add({{"dialog",
                 {{"type", "message"},
                  {"text", JsonText(request.text)},
                  {"caption", JsonText(request.caption)},
                  {"kind", static_cast<int>(request.kind)},
                  {"buttons", request.buttons},
                  {"result", result}}}});
  return result;
}

void ScriptedDialogs::ShowPlainMessage(const std::string& text, const std::string& caption) {
  if (while_open) while_open();
  journal_.Add(
      {{"dialog", {{"type", "plain"}, {"text", JsonText(text)}, {"caption", JsonText(caption)}}}});
}

int ScriptedDialogs::SystemMessageBox(const std::string& text, const std::string& caption,
                                      unsigned flags) {
  if (while_open) while_open();
  // A box with only OK answers 1 (IDOK) and asks nothing; others take a queued code and
  // answer 2 (IDCANCEL) when closed without one.
  int result = 1;
  if ((flags & 0xF) != 0) result = TakeNumber().value_or(2);
  journal_.Add({{"dialog",
                 {{"type", "system"},
                  {"text", JsonText(text)},
                  {"caption", JsonText(caption)},
                  {"flags", flags},
                  {"result", result}}}});
  return result;
}

void ScriptedDialogs::ShowErrorReport(const std::string& text, const std::string&) {
  if (while_open) while_open();
  journal_.Add({{"error_report", JsonText(text)}});
}

std::optional<std::string> ScriptedDialogs::ShowInputDialog(const InputDialogRequest& request) {
  if (while_open) while_open();
  std::optional<std::string> result;  // closed without a fitting answer: cancelled
  if (!answers_.empty() && (answers_.front().is_string() || answers_.front().is_null())) {
    if (answers_.front().is_string()) {
      // Typed into the box: it takes at most max_length characters.
      std::string typed = text::Ansi().FromUtf8(answers_.front().get<std::string>());
      const auto starts = text::Ansi().CharStarts(typed);
      if (request.max_length >= 0 && starts.size() > static_cast<std::size_t>(request.max_length)) {
        typed.resize(starts[static_cast<std::size_t>(request.max_length)]);
      }
      result = std::move(typed);
    }
    answers_.pop_front();
  }
  journal_.Add({{"dialog",
                 {{"type", "input"},
                  {"caption", JsonText(request.caption)},
                  {"prompt", JsonText(request.prompt)},
                  {"text", JsonText(request.text)},
                  {"result", result ? Json(JsonText(*result)) : Json(nullptr)}}}});
  return result;
}

class ScriptedDialogs::ProgressWindow : public IProgressWindow {
 public:
  ProgressWindow(ScriptedDialogs& owner, const ProgressDialogRequest& request,
                 std::function<void(ProgressCloseReason)> on_user_close)
      : owner_(owner),
        request_(request),
        gauge_(request.value),
        on_user_close_(std::move(on_user_close)) {}
  ~ProgressWindow() override {
    if (owner_.progress_ == this) owner_.progress_ = nullptr;
  }

  void SetGauge(std::int64_t value) override { gauge_ = value; }
  void Close() override {
    if (!open_) return;
    Closed("value");
    closed_by_value_ = true;
  }
  bool RunModal() override {
    if (owner_.while_open) owner_.while_open();
    // Still open after its messages ran: the user closes it.
    if (open_) owner_.CloseProgress(ProgressCloseReason::kCloseCommand);
    return closed_by_value_;
  }

  void Closed(const char* by) {
    open_ = false;
    if (owner_.progress_ == this) owner_.progress_ = nullptr;
    owner_.journal_.Add({{"dialog",
                          {{"type", "progress"},
                           {"event", "closed"},
                           {"min", request_.min},
                           {"max", request_.max},
                           {"value", gauge_},
                           {"by", by}}}});
  }
  std::function<void(ProgressCloseReason)> UserCloseHandler() const { return on_user_close_; }

 private:
  ScriptedDialogs& owner_;
  ProgressDialogRequest request_;
  std::int64_t gauge_;
  std::function<void(ProgressCloseReason)> on_user_close_;
  bool open_ = true;
  bool closed_by_value_ = false;
};

ScriptedDialogs::~ScriptedDialogs() = default;

std::unique_ptr<IProgressWindow> ScriptedDialogs::ShowProgressWindow(
    const ProgressDialogRequest& request, std::function<void(ProgressCloseReason)> on_user_close) {
  journal_.Add({{"dialog",
                 {{"type", "progress"},
                  {"event", "shown"},
                  {"caption", JsonText(request.caption)},
                  {"label", JsonText(request.label)},
                  {"min", request.min},
                  {"max", request.max}}}});
  auto window = std::make_unique<ProgressWindow>(*this, request, std::move(on_user_close));
  progress_ = window.get();
  return window;
}

bool ScriptedDialogs::CloseProgress(ProgressCloseReason reason) {
  if (progress_ == nullptr) return false;
  ProgressWindow& window = *progress_;
  window.Closed(reason == ProgressCloseReason::kCancelButton ? "cancel" : "close");
  // The handler may forget the window; it runs from a copy.
  const auto handler = window.UserCloseHandler();
  if (handler) handler(reason);
  return true;
}

// ---------------------------------------------------------------- process

bool ScriptedProcess::Terminate(unsigned exit_code) {
  // A process that has ended does nothing more; later requests are not seen.
  if (terminated_) return true;
  terminated_ = true;
  exit_code_ = exit_code;
  journal_.Add({{"exit", exit_code}});
  return true;
}

// ---------------------------------------------------------------- shell

int RecordingShell::Execute(const ShellRequest& request) {
  journal_.Add({{"shell",
                 {{"verb", JsonText(request.verb)},
                  {"file", JsonText(request.file)},
                  {"params", JsonText(request.params)},
                  {"dir", JsonText(request.dir)},
                  {"show", request.show}}}});
  return execute_result;
}

int RecordingShell::FileOperation(const ShellFileOperation& operation) {
  Json from = Json::array();
  for (const std::string& entry : operation.from) from.push_back(JsonText(entry));
  journal_.Add({{"file_operation",
                 {{"operation", operation.operation},
                  {"from", from},
                  {"to", JsonText(operation.to)},
                  {"flags", operation.flags}}}});
  return file_operation_result;
}

std::optional<std::string> RecordingShell::SpecialFolderPath(int csidl) {
  if (special_folder_error) throw Exception(*special_folder_error);
  const auto it = special_folders.find(csidl);
  if (it == special_folders.end()) return std::nullopt;
  return it->second;
}

}  // namespace qm::headless
