#pragma once

// The analysis-window tests' fixture: the double Gauss example opened as a user opens it,
// and every document closed afterwards.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPoint>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/windows/LensPlotWindowController.h"

namespace orb::app::testing {

inline const std::string kDoubleGauss = std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx";

/// A test on a document opened from examples/ by `open`; every document is closed after.
class ExampleDocumentTest : public ::testing::Test {
 protected:
  std::shared_ptr<OBDocument> document;

  void open(const std::string& file) {
    registerLensDocument();
    setMessagePresenter([](QWidget*, const std::string&, const std::string&) {});
    std::string why;
    document = std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->openDocument(
        std::string(ORB_SOURCE_DIR) + "/examples/" + file, &why));
    ASSERT_TRUE(document) << why;
    DocumentController::shared().addDocument(document);
  }
  void TearDown() override {
    // A copy: closing a document takes it out of the controller's list.
    for (const auto& d : std::vector(DocumentController::shared().documents())) d->close();
    settle();
    setMessagePresenter({});
  }
};

template <class Base = ::testing::Test>
class DoubleGaussDocumentTest : public Base {
 protected:
  std::shared_ptr<OBDocument> document;

  void SetUp() override {
    registerLensDocument();
    setMessagePresenter([](QWidget*, const std::string&, const std::string&) {});
    std::string why;
    document = std::static_pointer_cast<OBDocument>(
        DocumentController::shared().documentFactory()->openDocument(kDoubleGauss, &why));
    ASSERT_TRUE(document) << why;
    DocumentController::shared().addDocument(document);
  }
  void TearDown() override {
    // A copy: closing a document takes it out of the controller's list.
    for (const auto& d : std::vector(DocumentController::shared().documents())) d->close();
    settle();
    setMessagePresenter({});
  }

  /// Performs `action` and shows the window of class `Controller` it opened (the last
  /// one), or returns null when there is none.
  template <class Controller>
  Controller* showWindow(const std::string& action) {
    EXPECT_TRUE(document->performAction(action)) << action;
    Controller* window = nullptr;
    for (auto* controller : document->windowControllers())
      if (auto* c = qobject_cast<Controller*>(controller)) window = c;
    if (window) window->window()->show();
    return window;
  }

  /// The document's plot window of interface file `nib` (the last one opened), or null.
  LensPlotWindowController* plotWindow(const std::string& nib) const {
    LensPlotWindowController* window = nullptr;
    for (auto* controller : document->windowControllers())
      if (auto* p = qobject_cast<LensPlotWindowController*>(controller); p && p->nibName() == nib) window = p;
    return window;
  }
};

/// The pixel at (x, y) as hue, saturation and value.
inline QColor hsvAt(const QImage& image, int x, int y) { return QColor(image.pixelColor(x, y)).toHsv(); }

/// The brightest pixel (the first of equals, row by row from the top).
inline QPoint brightest(const QImage& image) {
  QPoint best(0, 0);
  float top = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (const float v = hsvAt(image, x, y).valueF(); v > top) {
        top = v;
        best = QPoint(x, y);
      }
  return best;
}

}  // namespace orb::app::testing
