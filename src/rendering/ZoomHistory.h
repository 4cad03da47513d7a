#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace orb::rendering {

/// The state of a zoom view's history: the data range in user units.
struct ZoomData {
  double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  friend bool operator==(const ZoomData&, const ZoomData&) = default;
  /// The 32-byte exchange form: four doubles in native byte order.
  std::array<unsigned char, 32> bytes() const;
  /// Null for data shorter than 32 bytes.
  static std::optional<ZoomData> fromBytes(const unsigned char* data, std::size_t size);
};

/// A view's own back/forward history of zoom data, 100 levels deep, kept apart from the
/// document's undo. Recording the state that is already on top does nothing, so that the
/// several records one gesture makes are one step.
class ZoomHistory {
 public:
  static constexpr std::size_t kLevels = 100;

  /// Remembers `previous` (the state before a change) under an action name.
  void record(const ZoomData& previous, std::string actionName);
  bool canGoBack() const { return !m_back.empty(); }
  bool canGoForward() const { return !m_forward.empty(); }
  /// The state to return to; `current` becomes the forward step. Null when there is none.
  std::optional<ZoomData> back(const ZoomData& current);
  std::optional<ZoomData> forward(const ZoomData& current);
  /// Drops the newest back step (a cancelled animation).
  void dropLast();
  std::string backActionName() const { return m_back.empty() ? std::string() : m_back.back().name; }
  std::string forwardActionName() const { return m_forward.empty() ? std::string() : m_forward.back().name; }
  std::size_t backCount() const { return m_back.size(); }

 private:
  struct Step {
    ZoomData data;
    std::string name;
  };
  std::deque<Step> m_back;
  std::vector<Step> m_forward;
};

}  // namespace orb::rendering
