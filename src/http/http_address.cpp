#include "http/http_address.h"

#include "text/codepage.h"

namespace qm::http {

namespace {

bool NeedsEncoding(unsigned char c) {
  return c <= 0x20 || c >= 0x7F;
}

std::string EncodeTarget(std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEncoding(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

[[noreturn]] void Invalid(std::string_view address, std::string_view why) {
  throw EHttpError("Invalid address " + std::string(address) + ": " + std::string(why) + ".");
}

}  // namespace

HttpAddress ParseHttpAddress(std::string_view address) {
  constexpr std::string_view kScheme = "http://";
  if (address.size() < kScheme.size() ||
      text::LowerAscii(address.substr(0, kScheme.size())) != kScheme) {
    throw EHttpError("Unsupported address " + std::string(address) + ": only http:// is served.");
  }
  std::string_view rest = address.substr(kScheme.size());
  const std::size_t authority_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authority_end);
  std::string_view tail =
      authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);

  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }

  HttpAddress result;
  std::string_view host;
  std::string_view port;
  bool has_port = false;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) Invalid(address, "unclosed \"[\"");
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') Invalid(address, "text after the host");
      port = after.substr(1);
      has_port = true;
    }
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
      port = authority.substr(colon + 1);
      has_port = true;
    }
  }
  if (host.empty()) Invalid(address, "no host");
  for (const char ch : host) {
    if (NeedsEncoding(static_cast<unsigned char>(ch)))
      Invalid(address, "a blank or control in the host");
  }
  if (has_port) {
    if (port.empty() || port.size() > 5) Invalid(address, "bad port");
    int value = 0;
    for (const char ch : port) {
      if (ch < '0' || ch > '9') Invalid(address, "bad port");
      value = value * 10 + (ch - '0');
    }
    if (value < 1 || value > 65535) Invalid(address, "bad port");
    result.port = value;
  }
  result.host = std::string(host);
  const bool bracketed = !authority.empty() && authority.front() == '[';
  result.host_header = bracketed ? "[" + result.host + "]" : result.host;
  if (result.port != 80) result.host_header += ":" + std::to_string(result.port);

  if (const std::size_t hash = tail.find('#'); hash != std::string_view::npos) {
    tail = tail.substr(0, hash);
  }
  std::string target = EncodeTarget(tail);
  if (target.empty() || target.front() != '/') target.insert(0, "/");
  result.target = std::move(target);
  return result;
}

}  // namespace qm::http
