// A panel shown over the screen next to an anchor rectangle, with an arrow pointing at
// it, holding a content view (the photo picker). A tap outside it dismisses it and is
// not passed on. Whoever makes the popover owns it: destroying a presented popover
// takes it off the screen, and a dismissed popover can be presented again.
//
//     albumpopoverController = std::make_unique<Popover>(std::move(picker));
//     albumpopoverController->presentFromRect({234, 0, 300, 300}, window);
//     ...
//     albumpopoverController->dismiss();
#pragma once

#include <waterline/ui/View.h>

#include <functional>
#include <memory>

namespace waterline {

class Window;

class Popover {
public:
    // The content's frame size is the size the popover shows it at.
    explicit Popover(std::unique_ptr<View> content);
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    View& content() { return *m_content; }

    // Shows the popover beside `anchor` (screen points): below it when there is room,
    // else above, else to the right or left; kept inside the screen.
    void presentFromRect(RectF anchor, Window&);
    void dismiss();
    bool isPopoverVisible() const { return m_window != nullptr; }

    // Called when a tap outside dismissed the popover (not on `dismiss()`); may be empty.
    std::function<void()> didDismissByOutsideTap;

    // The panel on screen (content plus border and arrow), while visible.
    View& panel() { return *m_panel; }

    static constexpr double kBorder = 8;
    static constexpr double kArrow = 14;

private:
    friend class Window;
    void dismissedByWindow();

    std::unique_ptr<View> m_panel; // owns the content
    View* m_content = nullptr;
    Window* m_window = nullptr;
};

} // namespace waterline
