// The base of views the user operates: enabled and selected flags, a highlighted state
// while a finger is down on it, and target/action pairs per event. A disabled control
// takes no touches (they fall through to what lies behind it) and draws dimmed.
//
//     button.addTarget([this] { savebtnclicked(); }, ControlEvent::TouchUpInside);
#pragma once

#include <waterline/ui/View.h>

#include <functional>
#include <vector>

namespace waterline {

enum class ControlState { Normal, Highlighted, Disabled, Selected };
enum class ControlEvent { TouchDown, TouchUpInside, ValueChanged };

class Control : public View {
public:
    using View::View;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool);
    bool isSelected() const { return m_selected; }
    void setSelected(bool);
    bool isHighlighted() const { return m_highlighted; }

    // Actions run in the order added, on the main thread, when the event happens.
    void addTarget(std::function<void()> action, ControlEvent);
    void removeAllTargets();

    // The state the control draws in: disabled before highlighted before selected.
    ControlState state() const;

    bool acceptsTouches() const override { return m_enabled && View::acceptsTouches(); }

protected:
    void setHighlighted(bool);
    void sendActions(ControlEvent);

private:
    struct Target {
        std::function<void()> action;
        ControlEvent event;
    };
    std::vector<Target> m_targets;
    bool m_enabled = true;
    bool m_selected = false;
    bool m_highlighted = false;
};

} // namespace waterline
