// The parts of an "http://" address that a request needs.
#pragma once

#include <string>
#include <string_view>

#include "platform/errors.h"

namespace qm::http {

// A failure of the HTTP client: an address it cannot use, a reply that breaks the
// protocol, a cancelled request.
class EHttpError : public Exception {
 public:
  using Exception::Exception;
};

struct HttpAddress {
  std::string host;  // as written; an IPv6 literal without its brackets
  int port = 80;
  std::string target;       // path and query, starting with "/"
  std::string host_header;  // the "Host" value: the host, and ":" and the port unless 80
};

// Reads an absolute "http://" address (the scheme in any letter case). Credentials
// before "@" and a fragment after "#" are dropped. In the target, bytes that cannot
// stand in a request line (controls, blanks, DEL, bytes above 127) are sent
// percent-encoded; everything else goes as written. Raises EHttpError for any other
// scheme, an empty or malformed host, or a port outside 1 to 65535.
HttpAddress ParseHttpAddress(std::string_view address);

}  // namespace qm::http
