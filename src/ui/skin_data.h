// The stored skin compiled into the program (written at build time from skin/).
#pragma once

#include <span>

namespace qm {

// The zlib stream of the embedded skin; read it with Skin::FromCompressed.
std::span<const unsigned char> EmbeddedSkinData();

}  // namespace qm
