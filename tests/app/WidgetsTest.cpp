#include "app/tables/Widgets.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "rendering/InstantTooltip.h"

namespace orb::app {
namespace {

class RecordingDragThing : public DragThing {
public:
  QStringList alerts;

protected:
  void runAlert(const QString &message) override { alerts << message; }
};

QByteArray png(QColor color, QSize size = QSize(10, 10)) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

TEST(DragThing, PastesImagesFilesAndColoursAndRefusesTheRest) {
  RecordingDragThing thing;
  EXPECT_EQ(thing.backgroundColor(), QColor(Qt::red));
  EXPECT_TRUE(thing.backgroundImage().isNull());

  { // A glass dictionary is a registered type but nothing is pasted from it.
    QMimeData data;
    data.setData(DragThing::kGlassDictionaryType, "<plist/>");
    EXPECT_FALSE(thing.pasteFromMimeData(&data));
  }
  { // A PDF that cannot be read as an image here is passed over, not reported
    // as pasted.
    QMimeData data;
    data.setData(DragThing::kPDFType, "%PDF-1.4 not really");
    EXPECT_FALSE(thing.pasteFromMimeData(&data));
    data.setData(DragThing::kPNGType, png(Qt::green));
    ASSERT_TRUE(thing.pasteFromMimeData(&data));
    EXPECT_EQ(thing.backgroundImage().pixelColor(5, 5), QColor(Qt::green));
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  { // A text file: the alert names it and the background stays.
    const QString path = dir.filePath("notes.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an image\n");
    file.close();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    EXPECT_FALSE(thing.pasteFromMimeData(&data));
    ASSERT_EQ(thing.alerts.size(), 1);
    EXPECT_EQ(thing.alerts.first(),
              QString("Perhaps not an image at \"%1\"").arg(path));
    EXPECT_EQ(thing.backgroundImage().pixelColor(5, 5), QColor(Qt::green));
  }
  { // An image file becomes the background.
    const QString path = dir.filePath("yellow.png");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(png(Qt::yellow));
    file.close();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    ASSERT_TRUE(thing.pasteFromMimeData(&data));
    EXPECT_EQ(thing.backgroundImage().pixelColor(5, 5), QColor(Qt::yellow));
  }
  { // A colour becomes the background colour.
    QMimeData data;
    data.setColorData(QColor(Qt::cyan));
    ASSERT_TRUE(thing.pasteFromMimeData(&data));
    EXPECT_EQ(thing.backgroundColor(), QColor(Qt::cyan));
  }
}

TEST(DragThing, TheImageCoversTheBoundsUnderTheBlueOval) {
  DragThing thing;
  thing.resize(40, 20);
  QImage green(10, 10, QImage::Format_ARGB32);
  green.fill(Qt::green);
  thing.setBackgroundImage(green);
  const QImage shot = thing.grab().toImage();
  // Scaled by max(40/10, 20/10) = 4 it covers every corner; by the smaller
  // factor it would not reach the right-hand ones.
  for (QPoint corner :
       {QPoint(0, 0), QPoint(39, 0), QPoint(0, 19), QPoint(39, 19)})
    EXPECT_EQ(shot.pixelColor(corner), QColor(Qt::green))
        << corner.x() << "," << corner.y();
  EXPECT_EQ(shot.pixelColor(20, 10), QColor(Qt::blue));
}

TEST(DragThing, DragsHighlightAndTheTrashClearsTheImage) {
  DragThing thing;
  thing.resize(30, 30);
  ASSERT_FALSE(DragThing::dragHighlight());

  QMimeData image;
  image.setData(DragThing::kPNGType, png(Qt::green));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &image, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(&thing, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_TRUE(DragThing::dragHighlight());
  QDragLeaveEvent leave;
  QApplication::sendEvent(&thing, &leave);
  EXPECT_FALSE(DragThing::dragHighlight());

  QMimeData text;
  text.setText("hello");
  QDragEnterEvent foreign(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton,
                          Qt::NoModifier);
  QApplication::sendEvent(&thing, &foreign);
  EXPECT_FALSE(foreign.isAccepted());
  EXPECT_FALSE(DragThing::dragHighlight());

  // The drop goes where the last accepted enter went.
  QDragEnterEvent again(QPoint(5, 5), Qt::CopyAction, &image, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(&thing, &again);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &image, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(&thing, &drop);
  EXPECT_FALSE(DragThing::dragHighlight());
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_FALSE(thing.backgroundImage().isNull());

  // A press takes the PDF of the view and highlights; the release clears the
  // highlight.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&thing, &press);
  EXPECT_TRUE(thing.PDFData().startsWith("%PDF"));
  EXPECT_TRUE(DragThing::dragHighlight());
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&thing, &release);
  EXPECT_FALSE(DragThing::dragHighlight());

  std::unique_ptr<QMimeData> dragged(thing.mimeDataForDrag());
  EXPECT_EQ(dragged->data(DragThing::kPDFType), thing.PDFData());
  EXPECT_EQ(QImage::fromData(dragged->data(DragThing::kPNGType)).size(),
            QSize(30, 30));

  thing.draggingSessionEnded(Qt::CopyAction);
  EXPECT_FALSE(thing.backgroundImage().isNull());
  thing.draggingSessionEnded(Qt::MoveAction);
  EXPECT_TRUE(thing.backgroundImage().isNull());
}

TEST(DragThing, CopyPutsPDFAndImageOnTheClipboard) {
  DragThing thing;
  thing.resize(24, 16);
  thing.copy();
  const QMimeData *data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->data(DragThing::kPDFType).startsWith("%PDF"));
  EXPECT_EQ(QImage::fromData(data->data(DragThing::kPNGType)).size(),
            QSize(24, 16));

  // What was copied pastes into another well.
  DragThing other;
  ASSERT_TRUE(other.paste());
  EXPECT_EQ(other.backgroundImage().size(), QSize(24, 16));
}

TEST(OBPopoverController, ShowsBesideTheSenderAndMakesANewPopupAfterClosing) {
  QWidget window;
  window.resize(200, 100);
  auto *button = new QPushButton("Options", &window);
  button->setGeometry(10, 10, 60, 20);
  window.show();

  OBPopoverController controller;
  QLabel content("settings");
  content.resize(50, 30);
  controller.setPopoverViewController(&content);
  EXPECT_EQ(controller.popover(), nullptr);

  controller.showPopoverAction(button);
  ASSERT_NE(controller.popover(), nullptr);
  EXPECT_TRUE(controller.popover()->isVisible());
  EXPECT_NEAR(controller.popover()->pos().x(),
              button->mapToGlobal(QPoint(button->width(), 0)).x(), 4);
  EXPECT_EQ(content.parentWidget(), controller.popover());

  int closes = 0;
  QObject::connect(&controller, &OBPopoverController::popoverDidClose,
                   [&] { ++closes; });
  controller.hidePopoverAction();
  QApplication::processEvents();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(controller.popover(), nullptr);
  EXPECT_EQ(content.parentWidget(), nullptr)
      << "the content outlives the popup";

  controller.showPopoverAction(button);
  ASSERT_NE(controller.popover(), nullptr);
  EXPECT_EQ(content.parentWidget(), controller.popover());
  controller.hidePopoverAction();
  QApplication::processEvents();
}

TEST(MFClickThroughDisabler, EnablesOnlyAPassAfterTheWindowBecomesActive) {
  QWidget window;
  auto *button = new QPushButton("Go", &window);
  MFClickThroughDisabler disabler(button);
  EXPECT_EQ(disabler.view(), button);
  EXPECT_EQ(button->isEnabled(), window.isActiveWindow());

  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(&window, &deactivate);
  EXPECT_FALSE(button->isEnabled());

  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&window, &activate);
  EXPECT_FALSE(button->isEnabled())
      << "the activating click would reach the control";
  QApplication::processEvents();
  EXPECT_TRUE(button->isEnabled());

  // Deactivated again before the deferred enabling runs: the control stays
  // disabled.
  QApplication::sendEvent(&window, &deactivate);
  QApplication::sendEvent(&window, &activate);
  QApplication::sendEvent(&window, &deactivate);
  QApplication::processEvents();
  EXPECT_FALSE(button->isEnabled());

  window.close();
  EXPECT_EQ(disabler.view(), nullptr);
}

TEST(MenuItems, StatesShowOnlyWhatTheModelSays) {
  NoStateMenuItem plain("Plain");
  plain.setChecked(true);
  plain.setState(Qt::Checked);
  EXPECT_FALSE(plain.isChecked());

  TogglingMenuItem toggling("Toggling");
  toggling.setState(Qt::Checked);
  EXPECT_TRUE(toggling.isChecked());
  toggling.trigger();
  EXPECT_TRUE(toggling.isChecked()) << "choosing the item changed its mark";
  toggling.setState(Qt::Unchecked);
  toggling.trigger();
  EXPECT_FALSE(toggling.isChecked());
}

TEST(CopyFieldText, CopiesTheWholeTextOfAField) {
  QLineEdit field("radius 25.4");
  field.setSelection(0, 3);
  ASSERT_TRUE(copyFieldText(&field));
  EXPECT_EQ(QApplication::clipboard()->text(), "radius 25.4");
  QLabel label("label text");
  ASSERT_TRUE(copyFieldText(&label));
  EXPECT_EQ(QApplication::clipboard()->text(), "label text");
  QWidget plain;
  EXPECT_FALSE(copyFieldText(&plain));
}

TEST(OBInstantTooltip, ShowsAtOnceWithItsLowerLeftCornerAtThePoint) {
  auto field =
      rendering::OBInstantTooltip::textFieldForString("Wavelength 587.6 nm");
  EXPECT_EQ(field->textInteractionFlags(), Qt::NoTextInteraction);
  EXPECT_EQ(field->font().pointSizeF(),
            rendering::OBInstantTooltip::kSmallSystemFontSize);
  EXPECT_GE(field->width(),
            field->fontMetrics().horizontalAdvance("Wavelength 587.6 nm"));

  auto tip = rendering::OBInstantTooltip::show("Wavelength 587.6 nm",
                                               QPoint(100, 200));
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->isVisible());
  EXPECT_TRUE(tip->windowFlags() & Qt::ToolTip);
  EXPECT_EQ(tip->geometry().left(), 100);
  EXPECT_EQ(tip->geometry().bottom() + 1, 200);
  auto *label = tip->findChild<QLabel *>();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Wavelength 587.6 nm");
  EXPECT_EQ(tip->size(), label->size());
}

} // namespace
} // namespace orb::app
