// Feeds arbitrary UTF-16 requests through everything the shell does with a request
// before it touches a file: the code-page conversion, the XML reader and the reading of
// the command name and its arguments. The first input byte picks the code page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge/request.h"
#include "platform/errors.h"
#include "text/codepage.h"
#include "xml/xml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const qm::text::CodePage utf8("UTF-8");
  static const qm::text::CodePage cp936("CP936");
  if (size == 0) return 0;
  const qm::text::CodePage& cp = (data[0] & 1) ? cp936 : utf8;
  ++data;
  --size;

  std::u16string request(size / 2, u'\0');
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    request[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }

  try {
    const auto parsed = qm::bridge::Request::Read(request, cp);
    const std::string& name = parsed.CommandName();
    std::string first = parsed.Argument(0);
    std::string second = parsed.Argument(1);
    // What a reply and a call into the movie would carry back.
    (void)cp.ToUtf16(qm::bridge::StringReply(first));
    (void)cp.ToUtf8(second);
    (void)cp.CharCount(name);
  } catch (const qm::EBridgeError&) {
    // Malformed requests are reported to the user; that is not a fault.
  }

  // The reader on the raw bytes too, and the text helpers on arbitrary input.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  (void)qm::xml::Document::Parse(bytes);
  (void)qm::xml::ElementText(bytes);
  (void)cp.ToUtf16(bytes);
  (void)cp.FromUtf8(bytes);
  (void)qm::text::Utf8ToUtf16(bytes);
  return 0;
}
