#include "rendering/ZoomHistory.h"

#include <cstring>

namespace orb::rendering {

std::array<unsigned char, 32> ZoomData::bytes() const {
  std::array<unsigned char, 32> out;
  const double values[4] = {xMin, xMax, yMin, yMax};
  std::memcpy(out.data(), values, sizeof values);
  return out;
}

std::optional<ZoomData> ZoomData::fromBytes(const unsigned char* data, std::size_t size) {
  if (!data || size < 32) return std::nullopt;
  double values[4];
  std::memcpy(values, data, sizeof values);
  return ZoomData{values[0], values[1], values[2], values[3]};
}

void ZoomHistory::record(const ZoomData& previous, std::string actionName) {
  if (!m_back.empty() && m_back.back().data == previous) return;
  m_back.push_back({previous, std::move(actionName)});
  if (m_back.size() > kLevels) m_back.pop_front();
  m_forward.clear();
}

std::optional<ZoomData> ZoomHistory::back(const ZoomData& current) {
  if (m_back.empty()) return std::nullopt;
  Step step = m_back.back();
  m_back.pop_back();
  m_forward.push_back({current, step.name});
  return step.data;
}

std::optional<ZoomData> ZoomHistory::forward(const ZoomData& current) {
  if (m_forward.empty()) return std::nullopt;
  Step step = m_forward.back();
  m_forward.pop_back();
  m_back.push_back({current, step.name});
  return step.data;
}

void ZoomHistory::dropLast() {
  if (!m_back.empty()) m_back.pop_back();
}

}  // namespace orb::rendering
