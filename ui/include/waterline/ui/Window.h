// The fixed 768 × 1024-point portrait screen: the root view, the popover shown over it,
// the queue of alerts shown over everything, input routing and redrawing. It knows
// nothing of SDL: the Application feeds it input events in screen points and shows its
// canvas through a back end.
//
// Input routing: a pointer press goes to the front alert if there is one (modal: presses
// outside it are swallowed), else to the presented sheet (modal as well), else a press
// outside the presented popover dismisses it and is swallowed, else it goes to the
// deepest view under it (hit testing), which then gets the moves and the release of that
// touch. Keys: Return and Escape answer the front alert (its last button, its cancel
// button); otherwise keys and typed text go to the focused view and up its ancestors
// until one takes them; a sheet swallows what nobody in it took; Escape dismisses a
// popover; every other key goes to `onKey`.
//
// A sheet is a modal view shown over the screen (and any popover), below alerts, with
// the screen dimmed behind it; like a popover it is owned by whoever presents it.
//
// Drawing: views mark the screen areas they change; `render()` redraws just those areas
// into the canvas (pixel rectangles) and reports them.
//
//     Window window;   // what an Application shows; on its own it needs no display
//     auto& button = window.rootView().add<Button>(Button::Custom, RectF{0, 0, 60, 60});
//     button.addTarget([] { saveThePhoto(); }, ControlEvent::TouchUpInside);
//     window.dispatch(InputEvent::pointerDown({30, 30}));
//     window.dispatch(InputEvent::pointerUp({30, 30}));   // the button's action runs
//     auto changed = window.render();                     // the pixel rectangles redrawn
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/ui/Canvas.h>
#include <waterline/ui/InputEvent.h>
#include <waterline/ui/View.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class AlertView;
class Popover;

class Window {
public:
    static constexpr SizeF kScreenSize{768, 1024};

    Window();
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The root view covers the screen; its background is black.
    View& rootView() { return *m_root; }

    // Alerts: queued; the first is shown, the others wait their turn.
    AlertView& show(std::unique_ptr<AlertView>);
    AlertView* frontAlert() const;
    std::size_t alertCount() const { return m_alerts.size(); }

    // The popover on screen, if any (Popover::presentFromRect puts it here).
    Popover* presentedPopover() const { return m_popover; }

    // The modal sheet on screen, if any. Presenting one replaces the one shown; the
    // owner dismisses it before destroying it (destroying it also takes it down).
    void presentSheet(View& sheet);
    void dismissSheet(View& sheet);
    View* presentedSheet() const { return m_sheet; }

    // The view that gets keys and typed text first; none: keys go to the popover's and
    // the window's handling. A view that goes away loses the focus.
    void setFocusedView(View*);
    View* focusedView() const { return m_focused; }

    // Keys that neither an alert nor a popover took. May be empty.
    std::function<void(const std::string& key)> onKey;

    void dispatch(const InputEvent&);

    // Redrawing.
    void markDirty(RectF screenRect);
    void markAllDirty();
    bool needsDisplay() const { return !m_dirty.empty(); }
    // Redraws the dirty areas into the canvas; returns the pixel rectangles redrawn.
    std::vector<PixelRect> render();
    const Canvas& canvas() const { return m_canvas; }

    // Writes the screen as it is now (pending changes drawn first) as a 768 × 1024 PNG.
    ErrorOr<void> writeScreenshot(const std::string& path);

    // Views call these; not for general use.
    static void forgetView(View&);
    // Destroys a view now, or after the input event being handled when `window` is in
    // the middle of one (a view may be dropped from inside its own touch handler).
    static void retire(Window* window, std::unique_ptr<View>);
    void presentPopover(Popover&);
    void removePopover(Popover&);
    void removeAlert(AlertView&, int buttonIndex);

private:
    void pointerDown(PointF);
    void pointerMove(PointF);
    void pointerUp(PointF);
    void wheel(const InputEvent&);
    void key(const std::string&);
    void text(const std::string&);
    bool offerToFocusedView(const std::function<bool(View&)>& handles);
    View* hitTestAll(PointF);
    void beginTouch(View*, PointF);
    void cancelTouchWithin(const View&);
    void showFrontAlert();
    void finishDeferredWork();

    struct Dismissed {
        std::unique_ptr<AlertView> alert;
        int buttonIndex;
    };

    std::unique_ptr<View> m_root;
    std::deque<std::unique_ptr<AlertView>> m_alerts;
    std::deque<Dismissed> m_dismissed; // delegates still to be told
    std::vector<std::unique_ptr<View>> m_retired;
    Popover* m_popover = nullptr;
    View* m_sheet = nullptr;    // not owned
    View* m_focused = nullptr;  // not owned
    View* m_tracking = nullptr; // the view owning the current touch, if any
    int m_dispatchDepth = 0;
    Canvas m_canvas;
    std::vector<PixelRect> m_dirty;
};

} // namespace waterline
