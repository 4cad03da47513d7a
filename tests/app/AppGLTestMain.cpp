#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/QtRunLoopDriver.h"
#include "app/document/OBAppDel.h"

// The windows with GL views need a GL-capable X display: CTest runs this executable under
// Xvfb on the xcb platform. (The offscreen platform crashes composing a shown GL widget when
// an X display is at hand, and makes no GL context without one.) With no display at all
// it runs offscreen and its tests skip.
int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  setenv("QT_QPA_PLATFORM", display && *display ? "xcb" : "offscreen", 1);
  char configHome[] = "/tmp/orb-app-gl-tests-XXXXXX";
  if (mkdtemp(configHome)) setenv("XDG_CONFIG_HOME", configHome, 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  orb::app::OBAppDel::initialize();
  orb::app::QtRunLoopDriver driver;
  return RUN_ALL_TESTS();
}
