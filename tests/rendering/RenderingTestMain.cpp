#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  // Widgets draw offscreen: the tests never need a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Views read and write user defaults: keep them away from the user's own settings file.
  char configHome[] = "/tmp/orb-rendering-tests-XXXXXX";
  if (mkdtemp(configHome)) setenv("XDG_CONFIG_HOME", configHome, 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
