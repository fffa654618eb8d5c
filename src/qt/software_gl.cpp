#include "qt/software_gl.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace qm::qt {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// The platform plugin QGuiApplication will load: "-platform" on the command line, then
// QT_QPA_PLATFORM (the first of a list), then the kind of session.
std::string PlatformName(int argc, char** argv) {
  std::string name;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0) name = argv[i + 1];
  }
  if (name.empty()) name = Environment("QT_QPA_PLATFORM");
  if (name.empty()) return Environment("XDG_SESSION_TYPE") == "wayland" ? "wayland" : "xcb";
  name = name.substr(0, name.find_first_of(";:"));
  return name;
}

bool GpuDevice() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error)) {
    const std::string name = entry.path().filename().string();
    if ((name.rfind("renderD", 0) == 0 || name.rfind("card", 0) == 0) &&
        ::access(entry.path().c_str(), R_OK | W_OK) == 0) {
      return true;
    }
  }
  return ::access("/dev/nvidiactl", R_OK | W_OK) == 0;
}

// Asks the X server for the extensions a GPU's GL needs. Xvfb, Xvnc and a display
// forwarded over SSH offer none of them: their GL is drawn in software.
std::optional<bool> XDirectRendering() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return std::nullopt;
  }
  std::vector<xcb_query_extension_cookie_t> cookies;
  for (const char* name : {"DRI3", "DRI2", "NV-GLX"}) {
    cookies.push_back(
        xcb_query_extension(connection, static_cast<uint16_t>(std::strlen(name)), name));
  }
  bool present = false, unanswered = false;
  for (const xcb_query_extension_cookie_t& cookie : cookies) {
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(connection, cookie, nullptr);
    if (reply == nullptr) {
      unanswered = true;
    } else {
      present = present || reply->present != 0;
      std::free(reply);
    }
  }
  xcb_disconnect(connection);
  if (present) return true;
  if (unanswered) return std::nullopt;
  return false;
}

}  // namespace

bool OnlySoftwareGl(const GlFacts& facts) {
  if (facts.setting == "1") return true;
  if (facts.setting == "0") return false;
  for (const char* software : {"offscreen", "minimal", "linuxfb", "vnc"}) {
    if (facts.platform == software) return true;
  }
  if (facts.software_forced || !facts.gpu_device) return true;
  return facts.platform == "xcb" && facts.x_direct_rendering == false;
}

GlFacts ReadGlFacts(int argc, char** argv) {
  GlFacts facts;
  facts.platform = PlatformName(argc, argv);
  facts.setting = Environment("QM_SOFTWARE_GL");
  const std::string forced = Environment("LIBGL_ALWAYS_SOFTWARE");
  facts.software_forced = !forced.empty() && forced != "0" && forced != "false";
  facts.gpu_device = GpuDevice();
  if (facts.platform == "xcb" && facts.gpu_device && !facts.software_forced) {
    facts.x_direct_rendering = XDirectRendering();
  }
  return facts;
}

}  // namespace qm::qt
