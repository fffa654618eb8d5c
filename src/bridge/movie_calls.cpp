// Calls from the shell into movie functions.
#include "app/main_form.h"
#include "bridge/request.h"
#include "text/codepage.h"

namespace qm {

std::string TForm1::NotifyMovie(const std::string& event, const std::string& data) {
  return CallMovieFunction("DelphiCallBack", event, data);
}

std::string TForm1::CallMovieFunction(const std::string& function, const std::string& first,
                                      const std::string& second) {
  const text::CodePage& cp = text::Ansi();
  const std::u16string reply =
      ports_.flash1.CallFunction(cp.ToUtf16(bridge::InvokeText(function, first, second)));
  return cp.FromUtf16(reply);
}

}  // namespace qm
