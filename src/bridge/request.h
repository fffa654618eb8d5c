// The movie's ExternalInterface requests and the texts the shell sends back.
#pragma once

#include <string>
#include <string_view>

#include "xml/xml_reader.h"

namespace qm::text {
class CodePage;
}

namespace qm::bridge {

// One request, read from the control's UTF-16 text. The command name is read at once;
// arguments only when a command asks for them.
class Request {
 public:
  // Converts to the code page and reads the XML. Raises EBridgeError when the request
  // has no root element or the root has no attribute.
  static Request Read(std::u16string_view utf16, const text::CodePage& code_page);

  // The value of the root element's first attribute, whatever it is called.
  const std::string& CommandName() const { return command_; }
  // The text of child node `index` of the "arguments" element (found ignoring case).
  // Raises EBridgeError when there is no such element or child.
  std::string Argument(int index) const;

 private:
  xml::Document document_;
  std::string command_;
};

// Replies, in the code page.
inline constexpr std::string_view kReplyTrue = "<true/>";
inline constexpr std::string_view kReplyFalse = "<false/>";
// "<string>" + text + "</string>", the text inserted unescaped.
std::string StringReply(std::string_view text);
inline std::string BoolReply(bool value) {
  return std::string(value ? kReplyTrue : kReplyFalse);
}

// The call text for a movie function with two text arguments, inserted unescaped.
std::string InvokeText(std::string_view function, std::string_view first, std::string_view second);

}  // namespace qm::bridge
