#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "foundation/objects/TransformStack.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/DrawingSink.h"

namespace orb::interchange {

/// Writes an ASCII DXF drawing of 3DFACE and 3DLINE entities, driven like an immediate-mode
/// graphics interface: dxfBegin(mode), dxfVertex per point, dxfEnd. Modes: 1 separate lines
/// (points pair up), 3 line strip (never closed), 4 triangles (a 3DFACE whose fourth corner
/// repeats the third), 7 four-corner faces; any other mode drops its points. A face or line
/// still incomplete at dxfEnd is dropped.
///
/// One writer per drawing: all state (colour, transform, open primitive) is its own. Every
/// entity lies on layer 0. Numbers are written the same under any process locale.
class DxfWriter : public geometry::DxfSink {
 public:
  explicit DxfWriter(std::ostream& out);

  /// The stack whose top forward matrix maps every following vertex as a point, from the
  /// caller's local frame to the drawing's. Not owned; null or an empty stack maps nothing.
  void setTransform(foundation::TransformStack* stack);
  /// The drawing extents written in the header.
  void setExtents(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax);

  /// The comment line, the HEADER, TABLES and BLOCKS sections, and the start of ENTITIES.
  void writeHeader();
  /// A 999 comment line.
  void comment(const std::string& text);
  /// Closes ENTITIES, ends the file and flushes the stream, so that a failed write shows in
  /// good().
  void writeTrailer();

  /// Sets the colour of following entities to the palette entry nearest to (r, g, b), each
  /// in 0-1.
  void setColorRGB(double r, double g, double b);
  void dxfSetColorRGB(double r, double g, double b) override { setColorRGB(r, g, b); }
  /// The colour number written with each entity; 3 until a colour is set.
  int colorNumberInUse() const { return m_colorNumber; }
  /// The DXF colour number (1-255) nearest to (r, g, b) by squared distance; ties go to
  /// the lower number.
  static int colorNumber(double r, double g, double b);

  void dxfBegin(int mode) override;
  void dxfVertex(double x, double y, double z) override;
  void dxfEnd() override;

  /// One 3DFACE from the four corners gathered so far.
  void writeFace();
  /// One 3DLINE from p to q, both already in the drawing's frame.
  void writeLine(const foundation::XYZ& p, const foundation::XYZ& q);

  /// Whether every write so far reached the stream. It stays false once a write failed,
  /// even if the stream's state is cleared later.
  bool good() const { return !m_failed && m_out.good(); }

 private:
  void write(const std::string& text);
  void appendCorner(std::string& text, int index, const foundation::XYZ& p) const;

  std::ostream& m_out;
  foundation::TransformStack* m_transform = nullptr;
  // Every entity lies on layer 0, though the LAYER table lists layers 1 and 2.
  const int m_layer = 0;
  int m_colorNumber = 3;
  double m_extents[6] = {0, 0, 0, 0, 0, 0};
  int m_mode = 0;
  bool m_pending = false;
  foundation::XYZ m_previous{0, 0, 0};
  int m_cornerCount = 0;
  foundation::XYZ m_corners[4] = {};
  bool m_failed = false;
};

/// Writes a drawing to `path` so that a failure leaves no partial file and any old file
/// whole: `draw` writes header, entities and trailer to a writer, and the file is replaced
/// only when every write succeeded. On failure returns false and, when `error` is given,
/// sets it to a reason naming the path.
bool writeDxfFileAtomically(const std::string& path, const std::function<void(DxfWriter&)>& draw,
                            std::string* error);

}  // namespace orb::interchange
