// The platform without a desktop: a scripted Flash control, a manual clock, dialogs
// that answer from a queue, a shell that launches nothing. Each records what the shell
// did, as JSON objects, in a journal.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/dialogs.h"
#include "platform/flash_control.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/window_system.h"

namespace qm::headless {

using Json = nlohmann::json;

// What the shell did, in order. `live` (when set) sees every entry as it is added.
class Journal {
 public:
  void Add(Json entry);
  const std::vector<Json>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }
  std::function<void(const Json&)> live;

 private:
  std::vector<Json> entries_;
};

// ANSI text of the shell as UTF-8 for JSON.
std::string JsonText(const std::string& ansi);

class ScriptedFlashControl : public IFlashControl {
 public:
  explicit ScriptedFlashControl(Journal& journal) : journal_(journal) {}

  void SetMovie(const std::u16string& path) override;
  bool Playing() override { return playing_; }
  void SetPlaying(bool playing) override { playing_ = playing; }
  void Play() override { playing_ = true; }
  // The value of a variable set with SetVariable; other names are refused.
  std::u16string GetVariable(const std::u16string& name) override;
  // Records the call as {"movie_call": ...}; the movie's reply comes from
  // `movie_function` when set, else it is empty.
  std::u16string CallFunction(const std::u16string& request) override;
  void SetReturnValue(const std::u16string& reply) override { reply_ = reply; }

  // Raises FlashCall as the movie's ExternalInterface call does; the reply the shell set
  // with SetReturnValue, or nullopt.
  std::optional<std::u16string> Call(const std::u16string& request);
  void Command(const std::u16string& command, const std::u16string& args) {
    RaiseFSCommand(command, args);
  }
  // The player fails as a real one can: its process ends, or the movie cannot be played.
  void Fail(Failure failure, const std::u16string& detail) { RaiseFailure(failure, detail); }
  // While true, GetVariable refuses as a control does while a movie waits in a call.
  bool busy = false;

  void SetVariable(const std::u16string& name, const std::u16string& value) {
    variables_[name] = value;
  }
  void UnsetVariable(const std::u16string& name) { variables_.erase(name); }
  const std::u16string& Movie() const { return movie_; }
  std::function<std::u16string(const std::u16string&)> movie_function;

 private:
  Journal& journal_;
  std::u16string movie_;
  bool playing_ = false;
  std::map<std::u16string, std::u16string> variables_;
  std::optional<std::u16string> reply_;
};

// Timers and posted messages on a clock that moves only when told to.
class ManualWindowSystem : public IWindowSystem {
 public:
  explicit ManualWindowSystem(Journal& journal);
  ~ManualWindowSystem() override;

  std::unique_ptr<ITimer> CreateTimer(int interval_ms, bool enabled,
                                      std::function<void()> on_timer) override;
  // From any thread; the message runs at the next ProcessMessages or Advance.
  void Post(std::function<void()> message) override;
  void ProcessMessages() override;
  std::int64_t TickCount() override { return now_; }
  void Terminate() override { terminated_ = true; }
  bool Terminated() const override { return terminated_; }
  void DragMainWindow() override;
  void SetMainWindowState(WindowState state) override;
  // Reports {"form": {"name": ..., what the form describes}} and closes it at once (2).
  int ShowModal(IModalForm& form) override;
  void SetMessageHook(MessageHook hook) override { hook_ = std::move(hook); }

  // Moves the clock on by `ms`, running posted messages and due timers in time order.
  void Advance(std::int64_t ms);
  // Passes an input message through the application hook; true when it was delivered
  // (not dropped by the hook).
  bool Deliver(const WindowMessage& message);
  WindowState MainWindowState() const { return state_; }

  struct TimerState;

 private:
  void RunPosted();
  // The enabled timer due first at or before `until`, or null.
  std::shared_ptr<TimerState> NextDue(std::int64_t until);

  Journal& journal_;
  std::int64_t now_ = 0;
  bool terminated_ = false;
  WindowState state_ = WindowState::kNormal;
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
  std::vector<std::shared_ptr<TimerState>> timers_;
  std::uint64_t next_order_ = 0;
  MessageHook hook_;
};

// Dialogs that take their answers from a queue: a number for a message dialog's
// result, a text (confirmed) or null (cancelled) for an input dialog. Without a fitting
// answer a dialog is closed as by the window's close command. Progress windows are
// reported when shown and when closed.
class ScriptedDialogs : public IDialogs {
 public:
  explicit ScriptedDialogs(Journal& journal) : journal_(journal) {}
  ~ScriptedDialogs() override;

  void QueueAnswer(Json answer) { answers_.push_back(std::move(answer)); }
  std::size_t PendingAnswers() const { return answers_.size(); }
  // Runs while a dialog is "open", as its modal loop would run other messages.
  std::function<void()> while_open;

  int ShowMessageDialog(const MessageDialogRequest& request) override;
  void ShowPlainMessage(const std::string& text, const std::string& caption) override;
  int SystemMessageBox(const std::string& text, const std::string& caption,
                       unsigned flags) override;
  void ShowErrorReport(const std::string& text, const std::string& caption) override;
  std::optional<std::string> ShowInputDialog(const InputDialogRequest& request) override;
  std::unique_ptr<IProgressWindow> ShowProgressWindow(
      const ProgressDialogRequest& request,
      std::function<void(ProgressCloseReason)> on_user_close) override;

  // The user closes the progress window that is open ("取消", Escape or the close
  // command); false when none is open.
  bool CloseProgress(ProgressCloseReason reason = ProgressCloseReason::kCancelButton);
  bool ProgressOpen() const { return progress_ != nullptr; }

 private:
  class ProgressWindow;
  std::optional<int> TakeNumber();
  Journal& journal_;
  std::deque<Json> answers_;
  ProgressWindow* progress_ = nullptr;  // the progress window on screen
};

// A shell that records its requests and launches nothing.
class RecordingShell : public IShell {
 public:
  explicit RecordingShell(Journal& journal) : journal_(journal) {}
  int Execute(const ShellRequest& request) override;
  std::optional<std::string> SpecialFolderPath(int csidl) override;
  // Records {"file_operation": {"operation", "from", "to", "flags"}} and answers
  // `file_operation_result`; nothing is deleted.
  int FileOperation(const ShellFileOperation& operation) override;

  // What the special folders are; a missing entry is a folder the shell cannot name.
  std::map<int, std::string> special_folders;
  // When set, asking for a special folder fails with this message.
  std::optional<std::string> special_folder_error;
  int execute_result = 42;        // above 32: success
  int file_operation_result = 0;  // 0: success

 private:
  Journal& journal_;
};

// The process, ended on request: the first Terminate reports {"exit": code}; the driver
// then stops at once.
class ScriptedProcess : public IProcess {
 public:
  explicit ScriptedProcess(Journal& journal) : journal_(journal) {}
  unsigned ExitCode() override { return terminated_ ? *exit_code_ : kStillActive; }
  bool Terminate(unsigned exit_code) override;
  bool Terminated() const { return terminated_; }
  unsigned TerminatedWith() const { return exit_code_.value_or(0); }

 private:
  Journal& journal_;
  bool terminated_ = false;
  std::optional<unsigned> exit_code_;
};

// The scripted platform of one course: every port reports what is asked of it to the
// same journal.
struct ScriptedPlatform {
  Journal journal;
  ScriptedFlashControl flash1{journal};
  ScriptedFlashControl flashversion{journal};
  ManualWindowSystem windows{journal};
  ScriptedDialogs dialogs{journal};
  RecordingShell shell{journal};
  ScriptedProcess process{journal};
};

}  // namespace qm::headless
