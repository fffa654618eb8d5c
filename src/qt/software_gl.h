// Whether OpenGL on this display can only be Mesa's software rasteriser. Then the web
// engine composites in software and Qt Quick draws with its software back end: the same
// pictures, without loading Mesa's LLVM (about 40 MB) into the program for nothing.
#pragma once

#include <optional>
#include <string>

namespace qm::qt {

struct GlFacts {
  std::string platform;          // the Qt platform plugin that will run: "xcb", "wayland", ...
  std::string setting;           // QM_SOFTWARE_GL: "1" forces software, "0" the GPU path
  bool software_forced = false;  // LIBGL_ALWAYS_SOFTWARE asks Mesa for software
  bool gpu_device = false;       // this user can open a GPU's device node
  // With xcb: whether the X server offers direct rendering (DRI2, DRI3 or NVIDIA's
  // GLX). Empty when the server could not be asked.
  std::optional<bool> x_direct_rendering;
};

// True when GL can only be drawn in software; when in doubt, false (today's path).
bool OnlySoftwareGl(const GlFacts& facts);

// Reads the facts for this process: the environment, /dev and the X server.
GlFacts ReadGlFacts(int argc, char** argv);

}  // namespace qm::qt
