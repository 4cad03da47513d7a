#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The GL tests need a GL-capable X display: CTest runs them under Xvfb on the xcb platform,
// where Mesa renders. (The offscreen platform with an X display at hand makes GL contexts
// but crashes composing a shown GL widget; without a display it makes none.) With no
// display at all they run offscreen and each test skips.
int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  setenv("QT_QPA_PLATFORM", display && *display ? "xcb" : "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
