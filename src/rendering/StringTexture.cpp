#include "rendering/StringTexture.h"

#include <QFontMetricsF>
#include <QOpenGLContext>
#include <QPainter>
#include <QSurface>
#include <algorithm>
#include <cmath>

#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/Log.h"
#include "rendering/GLSink.h"

namespace orb::rendering {

namespace {
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs;
}

StringTexture::StringTexture(const QString& text, const QFont& font, const QColor& textColor, const QColor& boxColor,
                             const QColor& borderColor)
    : m_text(text), m_font(font), m_textColor(textColor), m_boxColor(boxColor), m_borderColor(borderColor) {}

StringTexture::~StringTexture() { deleteTexture(); }

QSizeF StringTexture::stringSize() const {
  if (m_text.isEmpty()) return {0, 0};
  return QFontMetricsF(m_font).boundingRect(QRectF(0, 0, 1e6, 1e6), kTextFlags, m_text).size();
}

QSizeF StringTexture::frameSize() {
  if (!m_staticFrame && m_frame.width() == 0 && m_frame.height() == 0) {
    const QSizeF text = stringSize();
    m_frame = {text.width() + 2 * m_margin.width(), text.height() + 2 * m_margin.height()};
  }
  return m_frame;
}

void StringTexture::resetDynamicFrame() {
  if (!m_staticFrame) m_frame = {0, 0};
}

void StringTexture::setString(const QString& text) {
  deleteTexture();
  m_text = text;
  resetDynamicFrame();
}

void StringTexture::setString(const QString& text, const QFont& font) {
  m_font = font;
  setString(text);
}

void StringTexture::setTextColor(const QColor& color) {
  deleteTexture();
  m_textColor = color;
}

void StringTexture::setBoxColor(const QColor& color) {
  deleteTexture();
  m_boxColor = color;
}

void StringTexture::setBorderColor(const QColor& color) {
  deleteTexture();
  m_borderColor = color;
}

void StringTexture::setMargins(double width, double height) {
  deleteTexture();
  m_margin = {width, height};
  resetDynamicFrame();
}

void StringTexture::useStaticFrame(double width, double height) {
  deleteTexture();
  m_frame = {width, height};
  m_staticFrame = true;
}

void StringTexture::useDynamicFrame() {
  if (!m_staticFrame) return;
  deleteTexture();
  m_staticFrame = false;
  m_frame = {0, 0};
}

QImage StringTexture::image() {
  const QSizeF frame = frameSize();
  const auto pixels = [](double v) { return std::isfinite(v) && v > 0 ? static_cast<int>(std::ceil(std::min(v, 16384.0))) : 0; };
  QImage bitmap(pixels(frame.width()), pixels(frame.height()), QImage::Format_RGBA8888_Premultiplied);
  if (bitmap.isNull()) return bitmap;
  bitmap.fill(Qt::transparent);
  QPainter painter(&bitmap);
  // Box and border replace what is under them, as a copy would.
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  const int w = bitmap.width(), h = bitmap.height();
  if (m_boxColor.alpha() != 0) painter.fillRect(0, 0, w, h, m_boxColor);
  if (m_borderColor.alpha() != 0) {
    painter.fillRect(0, 0, w, 1, m_borderColor);
    painter.fillRect(0, h - 1, w, 1, m_borderColor);
    painter.fillRect(0, 0, 1, h, m_borderColor);
    painter.fillRect(w - 1, 0, 1, h, m_borderColor);
  }
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setFont(m_font);
  painter.setPen(m_textColor);
  // The text's lower left corner sits a margin above the frame's bottom: a static frame
  // larger than the text leaves the room on top, a smaller one clips the top.
  const QSizeF text = stringSize();
  const QRectF textRect(m_margin.width(), frame.height() - m_margin.height() - text.height(), text.width(),
                        text.height());
  painter.drawText(textRect, kTextFlags, m_text);
  return bitmap;
}

bool StringTexture::genTexture() {
  deleteTexture();
  const QImage bitmap = image();
  m_texSize = QSizeF(bitmap.width(), bitmap.height());
  m_context = QOpenGLContext::currentContext();
  if (!m_context) {
    platform::log("StringTexture -genTexture: Failure to get current OpenGL context");
    return false;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  m_texName = name;
  glBindTexture(GL_TEXTURE_RECTANGLE, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // QImage rows of RGBA bytes are 4-aligned
  glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA, bitmap.width(), bitmap.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
               bitmap.isNull() ? nullptr : bitmap.constBits());
  return true;
}

void StringTexture::deleteTexture() {
  if (m_texName == 0) return;
  const GLuint name = m_texName;
  m_texName = 0;
  // A texture whose context has gone went with it.
  if (QOpenGLContext* owner = m_context.data()) {
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (current == owner) {
      glDeleteTextures(1, &name);
    } else if (owner->surface()) {
      QSurface* currentSurface = current ? current->surface() : nullptr;
      if (owner->makeCurrent(owner->surface())) {
        glDeleteTextures(1, &name);
        if (current && currentSurface)
          current->makeCurrent(currentSurface);
        else
          owner->doneCurrent();
      }
    }
  }
  m_context.clear();
}

void StringTexture::drawWithBounds(GLSink& gl, double x, double y, double width, double height) {
  if (m_texName == 0 && !genTexture()) return;
  const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  const double tw = f(m_texSize.width()), th = f(m_texSize.height());
  gl.bindRectangleTexture(m_texName);
  gl.beginPrimitive(GLPrimitive::Quads);
  gl.texCoord(0, 0), gl.vertex({f(x), f(y), 0});
  gl.texCoord(0, th), gl.vertex({f(x), f(y + height), 0});
  gl.texCoord(tw, th), gl.vertex({f(x + width), f(y + height), 0});
  gl.texCoord(tw, 0), gl.vertex({f(x + width), f(y), 0});
  gl.end();
}

void StringTexture::drawAtPoint(GLSink& gl, double x, double y) {
  if (m_texName == 0 && !genTexture()) return;
  drawWithBounds(gl, x, y, m_texSize.width(), m_texSize.height());
}

}  // namespace orb::rendering
