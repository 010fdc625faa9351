// The action framework: the plug-in's commands as small counted objects in a
// listener pattern.
//
// An action can be performed with a host record (a pointer type `Rec`).  A
// button is an action that, when performed, fires its listener actions in
// the order they were added.  Every concrete class is a process-wide single
// instance reached through ClassObject<T>::Instance().  Host thread only:
// counts and listener lists are unguarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "plugin/xtension/class_object.h"
#include "support/msg_string.h"
#include "support/ref_object.h"

namespace Swing {

// Records a listener-list fault (a duplicate add or a missing remove) in the
// program log as a numbered checkpoint with `text` (BreakPoint_BX); the list
// stays unchanged.
void ListenerFault(const char* text);

class Action : public virtual RefObject {
 public:
  int32_t Id() const { return id_; }
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // The action's title (ActionTitle), " Action <id>" for an id without one.
  virtual MsgString Name() const;

 protected:
  explicit Action(int32_t id) : id_(id) {}

 private:
  int32_t id_;
  bool enabled_ = true;
};

template <class Rec>
class ActionListener : public virtual RefObject {
 public:
  virtual void ActionPerformed(Rec record) = 0;
};

template <class Rec, int32_t N>
class AbstractAction : public Action, public ActionListener<Rec> {
 protected:
  AbstractAction() : Action(N) {}
};

// An action with a body of its own: each instantiation defines its
// ActionPerformed.
template <class Rec, int32_t N>
class ActionAdapter : public AbstractAction<Rec, N>, public ClassObject<ActionAdapter<Rec, N>> {
 public:
  ActionAdapter() = default;
  void ActionPerformed(Rec record) override;

 protected:
  ~ActionAdapter() override = default;
};

template <class Rec, int32_t N>
class AbstractButton : public AbstractAction<Rec, N>, public ClassObject<AbstractButton<Rec, N>> {
 public:
  using Listener = RefHandle<ActionListener<Rec>>;

  AbstractButton() = default;

  // Appends a listener not yet present (by object identity) and marks the
  // button changed; a duplicate is logged as "duplicated listener".
  virtual void AddListener(Listener listener) {
    if (Find(listener) != listeners_.end()) {
      ListenerFault("duplicated listener");
      return;
    }
    listeners_.push_back(std::move(listener));
    changed_ = true;
  }
  // Removes a listener (the others keep their order) and marks the button
  // changed; a missing one is logged as "duplicated listener metastasis".
  virtual void RemoveListener(Listener listener) {
    const auto found = Find(listener);
    if (found == listeners_.end()) {
      ListenerFault("duplicated listener metastasis");
      return;
    }
    listeners_.erase(found);
    changed_ = true;
  }

  // Performing a button fires it.
  void ActionPerformed(Rec record) override { Fire(record); }

  // Clears the changed mark, then performs every listener from the first to
  // the last.  A listener's exception passes to the caller.
  void Fire(Rec record) {
    changed_ = false;
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
      const Listener listener = listeners_[i];  // stays alive while it runs
      listener->ActionPerformed(record);
    }
  }

  bool IsChanged() const { return changed_; }
  std::size_t ListenerCount() const { return listeners_.size(); }

 protected:
  // Drops the listeners from the first to the last.
  ~AbstractButton() override {
    for (Listener& listener : listeners_) listener.Reset();
  }

 private:
  typename std::vector<Listener>::iterator Find(const Listener& listener) {
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
      if (*it == listener) return it;
    }
    return listeners_.end();
  }

  std::vector<Listener> listeners_;
  bool changed_ = false;
};

// Performs the live instance of T with the record; nothing when none lives.
template <class T, class Rec>
void Perform(Rec record) {
  if (const auto action = T::Instance()) {
    static_cast<ActionListener<Rec>&>(*action).ActionPerformed(record);
  }
}

}  // namespace Swing
