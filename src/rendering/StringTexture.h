#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QSizeF>
#include <QString>

class QOpenGLContext;

namespace orb::rendering {

class GLSink;

/// A styled string drawn inside a GL view: rendered once with QPainter into an image (on
/// an optional filled, outlined box), uploaded as a rectangle texture and then drawn as
/// one textured quad wherever asked. Any change of text, colour, margin or frame discards
/// the texture; the next draw makes it again in the context current then.
/// Main thread, inside the drawing of a view whose context is current.
class StringTexture {
 public:
  /// Opaque white text on a fully transparent box and border.
  explicit StringTexture(const QString& text, const QFont& font = QFont(),
                         const QColor& textColor = QColor::fromRgbF(1, 1, 1, 1),
                         const QColor& boxColor = QColor::fromRgbF(1, 1, 1, 0),
                         const QColor& borderColor = QColor::fromRgbF(1, 1, 1, 0));
  ~StringTexture();
  StringTexture(const StringTexture&) = delete;
  StringTexture& operator=(const StringTexture&) = delete;

  /// 0 while there is no texture.
  unsigned texName() const { return m_texName; }
  /// The uploaded bitmap's size in pixels.
  QSizeF texSize() const { return m_texSize; }
  const QString& string() const { return m_text; }
  const QFont& font() const { return m_font; }
  const QColor& textColor() const { return m_textColor; }
  const QColor& boxColor() const { return m_boxColor; }
  const QColor& borderColor() const { return m_borderColor; }
  bool staticFrame() const { return m_staticFrame; }
  /// Between the frame and the text; (4, 2) at creation.
  QSizeF marginSize() const { return m_margin; }
  /// The box: the text's size plus twice the margin, unless a static frame is in use.
  QSizeF frameSize();
  /// The laid-out size of the text (several lines where it holds line feeds).
  QSizeF stringSize() const;

  /// Replace the text (and font); a dynamic frame is measured again.
  void setString(const QString& text);
  void setString(const QString& text, const QFont& font);
  void setTextColor(const QColor& color);
  void setBoxColor(const QColor& color);
  void setBorderColor(const QColor& color);
  void setMargins(double width, double height);
  /// Fixes the frame at this size (text beyond it is clipped) until useDynamicFrame.
  void useStaticFrame(double width, double height);
  void useDynamicFrame();

  /// The bitmap the texture is made from: the frame's size rounded up to whole pixels,
  /// premultiplied RGBA bytes (for blending with one, one − source alpha), top row first.
  /// The text sits a margin above the frame's bottom edge.
  QImage image();
  /// Makes the texture in the current context; false (and a log line) when none is current.
  bool genTexture();
  /// Deletes the texture in the context that made it, if that context still exists.
  void deleteTexture();

  /// Draws the texture stretched over the rectangle, making it first when needed: texture
  /// (0, 0) at (x, y), its far corner at (x + w, y + h). Nothing without a context.
  void drawWithBounds(GLSink& gl, double x, double y, double width, double height);
  /// Draws it at its own pixel size with its (0, 0) corner at (x, y).
  void drawAtPoint(GLSink& gl, double x, double y);

 private:
  void resetDynamicFrame();

  QPointer<QOpenGLContext> m_context;
  unsigned m_texName = 0;
  QSizeF m_texSize{0, 0};
  QString m_text;
  QFont m_font;
  QColor m_textColor, m_boxColor, m_borderColor;
  bool m_staticFrame = false;
  QSizeF m_margin{4, 2};
  QSizeF m_frame{0, 0};
};

}  // namespace orb::rendering
