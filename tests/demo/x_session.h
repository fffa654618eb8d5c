// Programs of the course folder started as processes on an X server (Xvfb in the tests),
// and what the tests do to their windows: find them, read a pixel, click, close them.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Xlib last: its macros (None, Bool, Status) would clash with headers included after it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>

namespace qm::testing {

using Clock = std::chrono::steady_clock;

// A started program: its process and a file holding its standard error.
struct Process {
  pid_t pid = -1;
  std::filesystem::path errors;

  std::string Errors() const {
    std::ifstream in(errors);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

inline Process Start(const std::string& program, const std::vector<std::string>& arguments,
                     const std::filesystem::path& errors) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Process p{::fork(), errors};
  if (p.pid == 0) {
    if (std::FILE* f = std::fopen(errors.c_str(), "w")) ::dup2(fileno(f), 2);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return p;
}

// The wait status once the process has ended, or nullopt after `seconds`.
inline std::optional<int> WaitExit(pid_t pid, int seconds) {
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  do {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (Clock::now() < until);
  return std::nullopt;
}

inline void Kill(Process& p) {
  if (p.pid > 0 && !WaitExit(p.pid, 0)) {
    ::kill(p.pid, SIGKILL);
    ::waitpid(p.pid, nullptr, 0);
  }
  p.pid = -1;
}

// Polls `done` until it holds or `seconds` have passed.
inline bool WaitUntil(const std::function<bool()>& done, int seconds) {
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

class XDisplay {
 public:
  XDisplay() : display_(XOpenDisplay(nullptr)) {
    // Windows come and go while the tests list them: a window gone between the listing
    // and the question about it is no error of the test. Any other error still ends it.
    XSetErrorHandler([](::Display*, XErrorEvent* error) -> int {
      if (error->error_code == BadWindow || error->error_code == BadDrawable) return 0;
      if (error->error_code == BadMatch && error->request_code == X_GetImage) return 0;
      std::fprintf(stderr, "X error %d (request %d)\n", error->error_code, error->request_code);
      std::abort();
    });
  }
  ~XDisplay() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;
  ::Display* get() const { return display_; }

  std::string Title(Window w) const {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, w, XInternAtom(display_, "_NET_WM_NAME", False), 0, 1024,
                           False, XInternAtom(display_, "UTF8_STRING", False), &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
      title.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
    return title;
  }

  // The first viewable top-level window that `match` accepts.
  std::optional<Window> Find(
      const std::function<bool(Window, const XWindowAttributes&)>& match) const {
    Window root, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      return std::nullopt;
    }
    std::optional<Window> found;
    for (unsigned int i = 0; i < count && !found; ++i) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display_, children[i], &attributes) &&
          attributes.map_state == IsViewable && match(children[i], attributes)) {
        found = children[i];
      }
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  // The titles of the viewable top-level windows, for failure messages.
  std::string Titles() const {
    std::string titles;
    Find([&](Window w, const XWindowAttributes&) {
      titles += "\"" + Title(w) + "\" ";
      return false;
    });
    return titles;
  }

  std::optional<Window> FindTitled(const std::string& title) const {
    return Find([&](Window w, const XWindowAttributes&) { return Title(w) == title; });
  }

  std::optional<Window> WaitFor(const std::function<std::optional<Window>()>& find,
                                int seconds) const {
    std::optional<Window> found;
    WaitUntil([&] { return (found = find()).has_value(); }, seconds);
    return found;
  }

  std::optional<Window> WaitForTitled(const std::string& title, int seconds) const {
    return WaitFor([&] { return FindTitled(title); }, seconds);
  }

  // The colour 0xRRGGBB at a point of the window (a 24-bit screen).
  std::optional<unsigned long> Pixel(Window w, int x, int y) const {
    XImage* image = XGetImage(display_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return std::nullopt;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  // A real click of the left button at a point of the window (XTest, through xdotool).
  bool Click(Window w, int x, int y) const {
    int sx = 0, sy = 0;
    Window child;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), x, y, &sx, &sy, &child);
    const std::string command =
        "xdotool mousemove --sync " + std::to_string(sx) + " " + std::to_string(sy) + " click 1";
    return std::system(command.c_str()) == 0;
  }

  // Real key presses into the window: `keys` typed as text, then, once a completion
  // list has had the time to show, the key named `then` ("Return", "Escape"; xdotool's
  // names).
  bool Type(Window w, const std::string& keys, const std::string& then) const {
    std::string quoted = "'";
    for (const char c : keys) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    // "type" takes every argument after it as text: the key goes in a command of its own.
    const std::string focus = "xdotool windowfocus --sync " + std::to_string(w) + " sleep 0.5";
    if (std::system(focus.c_str()) != 0) return false;
    if (!keys.empty() && std::system(("xdotool type --delay 20 " + quoted).c_str()) != 0) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return std::system(("xdotool key " + then).c_str()) == 0;
  }

  // Where the window's top left corner is on the screen.
  std::pair<int, int> Origin(Window w) const {
    int sx = 0, sy = 0;
    Window child;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &sx, &sy, &child);
    return {sx, sy};
  }

  // A real drag with the left button: pressed at a point of the window, moved by
  // (dx, dy) in a few steps, released. The pointer rests a second after the press: the
  // program starts the drag only once the movie has heard the press and asked for it,
  // which takes a while on a busy machine.
  bool Drag(Window w, int x, int y, int dx, int dy) const {
    const auto [ox, oy] = Origin(w);
    std::string command = "xdotool mousemove --sync " + std::to_string(ox + x) + " " +
                          std::to_string(oy + y) + " mousedown 1 sleep 1";
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i) {
      command += " mousemove --sync " + std::to_string(ox + x + dx * i / kSteps) + " " +
                 std::to_string(oy + y + dy * i / kSteps) + " sleep 0.1";
    }
    command += " mouseup 1";
    return std::system(command.c_str()) == 0;
  }

  // What the window manager's close button does: WM_DELETE_WINDOW.
  void Close(Window w) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &event);
    XFlush(display_);
  }

 private:
  ::Display* display_;
};

}  // namespace qm::testing
