#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("qm-test-" + std::to_string(random()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void TempDir::WriteFile(std::string_view relative, std::string_view bytes) const {
  const auto path = path_ / std::filesystem::path(std::string(relative));
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::ReadFile(std::string_view relative) const {
  std::ifstream in(path_ / std::filesystem::path(std::string(relative)), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempDir::Exists(std::string_view relative) const {
  return std::filesystem::exists(path_ / std::filesystem::path(std::string(relative)));
}

bool FaultyFileSystem::CreateDirectory(std::string_view path) {
  return !refuse_folders && inner_.CreateDirectory(path);
}

std::string FaultyFileSystem::ReadFirstLine(std::string_view path) {
  if (read_error) throw EInOutError(*read_error);
  return inner_.ReadFirstLine(path);
}

void FaultyFileSystem::WriteTextFile(std::string_view path, std::string_view content) {
  if (write_error) throw EInOutError(*write_error);
  inner_.WriteTextFile(path, content);
  written.emplace_back(path);
}

void FaultyFileSystem::WriteBinaryFile(std::string_view path, std::string_view bytes) {
  if (write_error) throw EInOutError(*write_error);
  inner_.WriteBinaryFile(path, bytes);
  written.emplace_back(path);
}

std::string FaultyFileSystem::ReadBinaryFile(std::string_view path) {
  if (read_error) throw EInOutError(*read_error);
  return inner_.ReadBinaryFile(path);
}

std::unique_ptr<IFileReplacement> FaultyFileSystem::BeginReplace(std::string_view path) {
  if (write_error) throw EInOutError(*write_error);
  return inner_.BeginReplace(path);
}

std::string InvokeXml(std::string_view command, const std::vector<std::string>& arguments) {
  auto escape = [](std::string_view s) {
    std::string out;
    for (char c : s) {
      switch (c) {
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '&':
          out += "&amp;";
          break;
        case '"':
          out += "&quot;";
          break;
        default:
          out += c;
      }
    }
    return out;
  };
  std::string xml = "<invoke name=\"" + std::string(command) + "\" returntype=\"xml\">";
  if (!arguments.empty()) {
    xml += "<arguments>";
    for (const auto& argument : arguments) xml += "<string>" + escape(argument) + "</string>";
    xml += "</arguments>";
  }
  return xml + "</invoke>";
}

ShellHarness::ShellHarness(std::string_view code_page)
    : real_files(SystemFileSystem((text::SetAnsiCodePage(code_page), text::Ansi()))) {
  shell.special_folders[kCsidlCommonAppData] = text::Ansi().FromUtf8(appdata.Path().string());
  course = std::make_unique<CourseShell>(
      CoursePorts{flash1, flashversion, windows, dialogs, shell, files, process},
      text::Ansi().FromUtf8(app.Dir()), "Course");
  form = &course->Form1;
  course->Start();
  // The version movie reports what Ruffle reports: the runtime check passes.
  flashversion.SetVariable(u"mainver", u"32");
  flashversion.SetVariable(u"submainver", u"0");
  journal.Clear();
}

ShellHarness::~ShellHarness() {
  text::SetAnsiCodePage("UTF-8");
}

std::optional<std::string> ShellHarness::Call(std::string_view request_utf8) {
  const auto reply = flash1.Call(text::Utf8ToUtf16(request_utf8));
  if (!reply) return std::nullopt;
  return text::Utf16ToUtf8(*reply);
}

std::optional<std::string> ShellHarness::Invoke(std::string_view command,
                                                const std::vector<std::string>& arguments) {
  return Call(InvokeXml(command, arguments));
}

std::vector<headless::Json> ShellHarness::Entries(std::string_view key) const {
  std::vector<headless::Json> out;
  for (const auto& entry : journal.Entries()) {
    if (entry.contains(key)) out.push_back(entry[std::string(key)]);
  }
  return out;
}

}  // namespace qm::testing
