#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace orb::rendering {

/// A GL view's own back/forward history, kept apart from the document's undo. Each step is
/// one or more actions that restore the view as it was; an action replays a target setter,
/// which records its own inverse, so going back fills the forward list and going forward
/// the back list. The actions recorded in one pass of the event loop form one step. At most
/// 100 steps are kept.
class GLViewHistory {
 public:
  static constexpr std::size_t kLevels = 100;

  /// Records an action that restores the present state.
  void record(std::function<void()> action);
  /// Names the step being recorded (the open one, or else the newest).
  void setActionName(std::string name);
  /// Closes the open step; the next record begins a new one. Also done by the event loop.
  void endGrouping();
  /// Whether a step is open (recorded in this pass of the event loop).
  bool groupingIsOpen() const { return m_open; }

  bool canUndo() const { return !m_back.empty() || m_open; }
  bool canRedo() const { return !m_forward.empty(); }
  void undo();
  void redo();
  void removeAllActions();

  std::size_t undoCount() const { return m_back.size() + (m_open ? 1 : 0); }
  std::size_t redoCount() const { return m_forward.size(); }
  std::string undoActionName() const;
  std::string redoActionName() const { return m_forward.empty() ? std::string() : m_forward.back().name; }

  /// Called for each new open step, so that its owner can close it when the event loop
  /// comes round again; without one the next undo closes it.
  void setGroupOpenedHandler(std::function<void()> handler) { m_groupOpened = std::move(handler); }

 private:
  struct Step {
    std::string name;
    std::vector<std::function<void()>> actions;
  };
  enum class Replay { None, Undoing, Redoing };
  void replay(Step step, Replay mode);

  std::deque<Step> m_back;
  std::vector<Step> m_forward;
  Step m_openStep;
  bool m_open = false;
  Replay m_replay = Replay::None;
  Step* m_replayTarget = nullptr;
  std::function<void()> m_groupOpened;
};

}  // namespace orb::rendering
