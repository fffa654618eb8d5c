#include "qt/software_gl.h"

#include <gtest/gtest.h>

namespace qm::qt {
namespace {

struct Case {
  const char* what;
  GlFacts facts;
  bool software;
};

GlFacts Facts(std::string platform, bool gpu, std::optional<bool> x_direct,
              std::string setting = "", bool forced = false) {
  GlFacts facts;
  facts.platform = std::move(platform);
  facts.gpu_device = gpu;
  facts.x_direct_rendering = x_direct;
  facts.setting = std::move(setting);
  facts.software_forced = forced;
  return facts;
}

TEST(SoftwareGl, DecidesFromWhatTheMachineOffers) {
  const Case cases[] = {
      {"desktop with a GPU under X", Facts("xcb", true, true), false},
      {"Xvfb or Xvnc on a machine with a GPU", Facts("xcb", true, false), true},
      {"X server that did not answer", Facts("xcb", true, std::nullopt), false},
      {"no GPU device (a virtual machine)", Facts("xcb", false, std::nullopt), true},
      {"Wayland with a GPU", Facts("wayland", true, std::nullopt), false},
      {"Wayland without a GPU", Facts("wayland", false, std::nullopt), true},
      {"off-screen check", Facts("offscreen", true, std::nullopt), true},
      {"frame buffer", Facts("linuxfb", true, std::nullopt), true},
      {"Mesa told to draw in software", Facts("xcb", true, std::nullopt, "", true), true},
      {"forced on", Facts("xcb", true, true, "1"), true},
      {"forced off on a virtual machine", Facts("xcb", false, false, "0"), false},
      {"unknown setting is no setting", Facts("xcb", false, std::nullopt, "yes"), true},
  };
  for (const Case& c : cases) EXPECT_EQ(OnlySoftwareGl(c.facts), c.software) << c.what;
}

}  // namespace
}  // namespace qm::qt
