#include "rendering/GLViewHistory.h"

namespace orb::rendering {

void GLViewHistory::record(std::function<void()> action) {
  if (m_replay != Replay::None) {
    // Replaying a step: its setters record the inverse, which belongs to the other list.
    m_replayTarget->actions.push_back(std::move(action));
    return;
  }
  if (!m_open) {
    m_open = true;
    m_openStep = {};
    m_forward.clear();
    if (m_groupOpened) m_groupOpened();
  }
  m_openStep.actions.push_back(std::move(action));
}

void GLViewHistory::setActionName(std::string name) {
  if (m_open)
    m_openStep.name = std::move(name);
  else if (!m_back.empty())
    m_back.back().name = std::move(name);
}

void GLViewHistory::endGrouping() {
  if (!m_open) return;
  m_open = false;
  if (m_openStep.actions.empty()) return;
  m_back.push_back(std::move(m_openStep));
  m_openStep = {};
  if (m_back.size() > kLevels) m_back.pop_front();
}

std::string GLViewHistory::undoActionName() const {
  if (m_open) return m_openStep.name;
  return m_back.empty() ? std::string() : m_back.back().name;
}

void GLViewHistory::replay(Step step, Replay mode) {
  Step inverse{step.name, {}};
  m_replay = mode;
  m_replayTarget = &inverse;
  // The last change is undone first.
  for (auto it = step.actions.rbegin(); it != step.actions.rend(); ++it) (*it)();
  m_replay = Replay::None;
  m_replayTarget = nullptr;
  if (inverse.actions.empty()) return;
  if (mode == Replay::Undoing) {
    m_forward.push_back(std::move(inverse));
  } else {
    m_back.push_back(std::move(inverse));
    if (m_back.size() > kLevels) m_back.pop_front();
  }
}

void GLViewHistory::undo() {
  endGrouping();
  if (m_back.empty()) return;
  Step step = std::move(m_back.back());
  m_back.pop_back();
  replay(std::move(step), Replay::Undoing);
}

void GLViewHistory::redo() {
  endGrouping();
  if (m_forward.empty()) return;
  Step step = std::move(m_forward.back());
  m_forward.pop_back();
  replay(std::move(step), Replay::Redoing);
}

void GLViewHistory::removeAllActions() {
  m_back.clear();
  m_forward.clear();
  m_openStep = {};
  m_open = false;
}

}  // namespace orb::rendering
