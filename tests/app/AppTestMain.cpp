#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/QtRunLoopDriver.h"
#include "app/document/OBAppDel.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // windows draw offscreen: no display needed
  // Tests change user defaults: keep them away from the user's own settings file.
  char configHome[] = "/tmp/orb-app-tests-XXXXXX";
  if (mkdtemp(configHome)) setenv("XDG_CONFIG_HOME", configHome, 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  orb::app::OBAppDel::initialize();
  orb::app::QtRunLoopDriver driver;  // the platform loop runs inside Qt's, as in the application
  return RUN_ALL_TESTS();
}
