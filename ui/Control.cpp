// Control state and target/action delivery. Actions are copied before they run, so an
// action may add or remove targets, or have the control destroyed, without breaking the
// loop that calls them.
#include <waterline/ui/Control.h>

namespace waterline {

void Control::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        m_highlighted = false;
    setNeedsDisplay();
}

void Control::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

void Control::addTarget(std::function<void()> action, ControlEvent event)
{
    if (action)
        m_targets.push_back({std::move(action), event});
}

void Control::removeAllTargets()
{
    m_targets.clear();
}

ControlState Control::state() const
{
    if (!m_enabled)
        return ControlState::Disabled;
    if (m_highlighted)
        return ControlState::Highlighted;
    if (m_selected)
        return ControlState::Selected;
    return ControlState::Normal;
}

void Control::sendActions(ControlEvent event)
{
    std::vector<std::function<void()>> actions;
    for (auto& target : m_targets)
        if (target.event == event)
            actions.push_back(target.action);
    // From here on `this` may be gone: only the local copies are used.
    for (auto& action : actions)
        action();
}

} // namespace waterline
