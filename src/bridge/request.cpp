#include "bridge/request.h"

#include "platform/errors.h"
#include "text/codepage.h"

namespace qm::bridge {

Request Request::Read(std::u16string_view utf16, const text::CodePage& code_page) {
  Request request;
  request.document_ = xml::Document::Parse(code_page.FromUtf16(utf16));
  const xml::Node* root = request.document_.Root();
  if (root == nullptr) throw EBridgeError("The request has no root element");
  if (root->attributes.empty()) throw EBridgeError("The request names no command");
  request.command_ = root->attributes.front().second;
  return request;
}

std::string Request::Argument(int index) const {
  const xml::Node* arguments = document_.Root()->FindChildElement("arguments");
  if (arguments == nullptr) throw EBridgeError("The request has no arguments");
  if (index < 0 || static_cast<std::size_t>(index) >= arguments->children.size()) {
    throw EBridgeError("The request lacks argument " + std::to_string(index + 1));
  }
  return arguments->children[static_cast<std::size_t>(index)]->Text();
}

std::string StringReply(std::string_view text) {
  std::string reply;
  reply.reserve(text.size() + 17);
  reply += "<string>";
  reply += text;
  reply += "</string>";
  return reply;
}

std::string InvokeText(std::string_view function, std::string_view first, std::string_view second) {
  std::string call;
  call.reserve(function.size() + first.size() + second.size() + 96);
  call += "<invoke name=\"";
  call += function;
  call += "\" returntype=\"xml\"><arguments><string>";
  call += first;
  call += "</string><string>";
  call += second;
  call += "</string></arguments></invoke>";
  return call;
}

}  // namespace qm::bridge
