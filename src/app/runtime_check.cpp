// The Flash runtime check: about a second after start, the first tick of Timer1 reads
// the runtime's version from the hidden version movie and ends the program with a
// message when it is older than 10.2 or cannot be read. While a movie waits inside its
// own call, the version cannot be asked for; the check then waits for a later tick.

#include "app/runtime_check.h"

#include <string>

#include "app/main_form.h"
#include "platform/errors.h"
#include "text/codepage.h"

namespace qm {

namespace {

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

[[noreturn]] void NotAnInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) NotAnInteger(text);
  // Decimal values must fit a signed 32-bit integer; hexadecimal ones may use all 32
  // bits and wrap into the negative range, as the bit pattern says.
  const std::int64_t limit = base == 16 ? 0xFFFFFFFFLL : (negative ? 0x80000000LL : 0x7FFFFFFFLL);
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) NotAnInteger(text);
    value = value * base + digit;
    if (value > limit) NotAnInteger(text);
  }
  if (base == 16) {
    const auto bits = static_cast<std::uint32_t>(value);
    const auto as_signed = static_cast<std::int32_t>(bits);
    return negative ? static_cast<std::int32_t>(0u - bits) : as_signed;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

void TForm1::Timer1Timer() {
  Timer1->SetEnabled(false);
  try {
    // Both variables are read and converted before they are compared.
    const std::int32_t major =
        StrToInt(text::Ansi().FromUtf16(ports_.flashversion.GetVariable(u"mainver")));
    const std::int32_t minor =
        StrToInt(text::Ansi().FromUtf16(ports_.flashversion.GetVariable(u"submainver")));
    if (major < 10 || (major == 10 && minor < 2)) {
      Message1.MessageDialog(text::A("您目前使用的flashplayer版本不能支持本程序的正常运行，"
                                     "请运行文件：Adobe Flash Player11.4.exe进行升级。"),
                             MessageKind::kError, mbOK, 0);
      ports_.windows.Terminate();
      return;
    }
    // Nothing reads the version movie again: it is unloaded, and the player behind the
    // hidden control may give its memory back.
    ports_.flashversion.SetMovie(u"");
    return;
  } catch (const EFlashControlBusy&) {
    // A movie waits inside its call into the shell (a dialog it opened, a window drag,
    // an error report): the version cannot be read now, not that it is unreadable. The
    // check runs again on the next tick.
    if (!ports_.windows.Terminated()) Timer1->SetEnabled(true);
    return;
  } catch (...) {
    // Whatever keeps the version from being read means the runtime is unusable.
  }
  // A program already ending (an upgrade started while the version was being read) has
  // nothing to tell about the runtime.
  if (ports_.windows.Terminated()) return;
  Message1.MessageDialog(
      text::A(
          "您未安装或安装flashplayer有问题，请运行文件：Adobe Flash Player11.4.exe进行重新安装。"),
      MessageKind::kError, mbOK, 0);
  ports_.windows.Terminate();
}

}  // namespace qm
