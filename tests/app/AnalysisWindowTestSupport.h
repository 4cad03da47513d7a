#pragma once

// The analysis-window tests' fixture: the double Gauss example opened as a user opens it,
// and every document closed afterwards.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/windows/LensPlotWindowController.h"

namespace orb::app::testing {

inline const std::string kDoubleGauss = std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx";

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
    for (const auto& d : DocumentController::shared().documents()) d->close();
    settle();
    setMessagePresenter({});
  }

  /// The document's plot window of interface file `nib` (the last one opened), or null.
  LensPlotWindowController* plotWindow(const std::string& nib) const {
    LensPlotWindowController* window = nullptr;
    for (auto* controller : document->windowControllers())
      if (auto* p = qobject_cast<LensPlotWindowController*>(controller); p && p->nibName() == nib) window = p;
    return window;
  }
};

}  // namespace orb::app::testing
