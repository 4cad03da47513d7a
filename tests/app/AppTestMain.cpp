#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/QtRunLoopDriver.h"
#include "app/document/OBAppDel.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // windows draw offscreen: no display needed
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  orb::app::OBAppDel::initialize();
  orb::app::QtRunLoopDriver driver;  // the platform loop runs inside Qt's, as in the application
  return RUN_ALL_TESTS();
}
