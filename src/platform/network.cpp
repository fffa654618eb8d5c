#include "platform/network.h"

#include "text/codepage.h"

namespace qm {

bool IsInvalidDomain(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  const std::string lower = text::LowerAscii(host);
  return lower == "invalid" ||
         (lower.size() > 8 && lower.compare(lower.size() - 8, 8, ".invalid") == 0);
}

}  // namespace qm
