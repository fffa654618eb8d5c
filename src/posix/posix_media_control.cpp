// The media control interface off Windows: the emulated one.
#include <memory>
#include <string>
#include <string_view>

#include "media/emulated_mci.h"
#include "platform/file_system.h"
#include "platform/media_control.h"

namespace qm {

std::unique_ptr<IMediaControl> SystemMediaControl(IWindowSystem& windows, IAudioEndpoint& audio,
                                                  IFileSystem& files) {
  return std::make_unique<EmulatedMediaControl>(
      windows, audio, files, [&files](std::string_view path) { return files.FindOnDisk(path); });
}

bool SystemMediaControlKeepsWallClock() {
  return false;
}

}  // namespace qm
