// Input routing, the alert queue, the presented popover and dirty-area redrawing for
// the one screen. Work that could pull a view out from under its own touch handler
// (an alert's delegate, a dropped popover) waits until the event being handled is done.
#include <waterline/ui/Window.h>

#include <waterline/ui/PngWriter.h>

#include <waterline/ui/AlertView.h>
#include <waterline/ui/Popover.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace waterline {
namespace {

constexpr Color kDim{0, 0, 0, 102};
constexpr std::size_t kMaxDirtyRects = 16;

// The windows alive; views use it to drop stale touch references when they die.
std::vector<Window*>& liveWindows()
{
    static std::vector<Window*> windows;
    return windows;
}

bool isAlive(Window* w)
{
    auto& all = liveWindows();
    return w && std::find(all.begin(), all.end(), w) != all.end();
}

std::string lowercase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

PixelRect unite(PixelRect a, PixelRect b)
{
    int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

bool contains(PixelRect outer, PixelRect inner)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width
        && inner.y + inner.height <= outer.y + outer.height;
}

// RAII counter of nested dispatches; deferred work runs when the outermost one ends.
struct DispatchScope {
    int& depth;
    explicit DispatchScope(int& d)
        : depth(d)
    {
        ++depth;
    }
    ~DispatchScope() { --depth; }
};

} // namespace

Window::Window()
    : m_root(std::make_unique<View>(RectF{0, 0, kScreenSize.width, kScreenSize.height}))
    , m_canvas(Size{static_cast<int>(kScreenSize.width), static_cast<int>(kScreenSize.height)})
{
    m_root->setBackgroundColor(Color::black());
    m_root->attachToWindow(this);
    liveWindows().push_back(this);
    markAllDirty();
}

Window::~Window()
{
    if (m_popover)
        m_popover->dismiss();
    if (m_sheet)
        dismissSheet(*m_sheet);
    m_focused = nullptr;
    m_tracking = nullptr;
    m_dismissed.clear();
    m_alerts.clear();
    m_retired.clear();
    m_root.reset();
    auto& all = liveWindows();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

// ---- alerts

AlertView& Window::show(std::unique_ptr<AlertView> alert)
{
    AlertView& shown = *alert;
    alert->attachToWindow(this);
    m_alerts.push_back(std::move(alert));
    if (m_alerts.size() == 1)
        showFrontAlert();
    return shown;
}

AlertView* Window::frontAlert() const
{
    return m_alerts.empty() ? nullptr : m_alerts.front().get();
}

void Window::showFrontAlert()
{
    AlertView* alert = frontAlert();
    if (!alert)
        return;
    alert->layoutForScreen(kScreenSize);
    alert->setVisible(true);
    // The alert is modal: a touch in progress elsewhere ends here.
    if (m_tracking && !m_tracking->isDescendantOf(*alert)) {
        View* tracked = m_tracking;
        m_tracking = nullptr;
        tracked->touchCancelled();
    }
    markAllDirty();
}

void Window::removeAlert(AlertView& alert, int buttonIndex)
{
    auto it = std::find_if(m_alerts.begin(), m_alerts.end(), [&](auto& a) { return a.get() == &alert; });
    if (it == m_alerts.end())
        return;
    bool wasFront = it == m_alerts.begin();
    std::unique_ptr<AlertView> removed = std::move(*it);
    m_alerts.erase(it);
    removed->setVisible(false);
    removed->attachToWindow(nullptr);
    cancelTouchWithin(*removed);
    m_dismissed.push_back({std::move(removed), buttonIndex});
    if (wasFront) {
        markAllDirty();
        showFrontAlert();
    }
    if (m_dispatchDepth == 0)
        finishDeferredWork();
}

void Window::finishDeferredWork()
{
    while (!m_dismissed.empty()) {
        Dismissed done = std::move(m_dismissed.front());
        m_dismissed.pop_front();
        if (done.alert->didDismissWithButtonIndex)
            done.alert->didDismissWithButtonIndex(*done.alert, done.buttonIndex);
    }
    m_retired.clear();
}

// ---- popovers

void Window::presentPopover(Popover& popover)
{
    if (m_popover == &popover)
        return;
    if (m_popover)
        m_popover->dismiss();
    m_popover = &popover;
    popover.panel().attachToWindow(this);
    popover.panel().markSubtreeDirty();
}

void Window::removePopover(Popover& popover)
{
    if (m_popover != &popover)
        return;
    popover.panel().markSubtreeDirty();
    cancelTouchWithin(popover.panel());
    popover.panel().attachToWindow(nullptr);
    m_popover = nullptr;
}

// ---- view lifetime

void Window::forgetView(View& view)
{
    for (Window* w : liveWindows()) {
        if (w->m_tracking == &view)
            w->m_tracking = nullptr;
        if (w->m_focused == &view)
            w->m_focused = nullptr;
        if (w->m_sheet == &view) {
            w->m_sheet = nullptr;
            w->markAllDirty();
        }
    }
}

// ---- sheets and focus

void Window::presentSheet(View& sheet)
{
    if (m_sheet && m_sheet != &sheet)
        dismissSheet(*m_sheet);
    m_sheet = &sheet;
    sheet.attachToWindow(this);
    // Modal: a touch in progress behind it ends here.
    if (m_tracking && !m_tracking->isDescendantOf(sheet)) {
        View* tracked = m_tracking;
        m_tracking = nullptr;
        tracked->touchCancelled();
    }
    markAllDirty();
}

void Window::dismissSheet(View& sheet)
{
    if (m_sheet != &sheet)
        return;
    cancelTouchWithin(sheet);
    if (m_focused && m_focused->isDescendantOf(sheet))
        setFocusedView(nullptr);
    sheet.attachToWindow(nullptr);
    m_sheet = nullptr;
    markAllDirty();
}

void Window::setFocusedView(View* view)
{
    if (view == m_focused)
        return;
    View* previous = std::exchange(m_focused, view);
    if (previous)
        previous->focusChanged(false);
    if (view)
        view->focusChanged(true);
}

bool Window::offerToFocusedView(const std::function<bool(View&)>& handles)
{
    // Behind a sheet nothing hears keys, focused or not.
    if (m_sheet && m_focused && !m_focused->isDescendantOf(*m_sheet))
        return false;
    for (View* v = m_focused; v; v = v->parent())
        if (handles(*v))
            return true;
    return false;
}

void Window::retire(Window* window, std::unique_ptr<View> view)
{
    if (view && isAlive(window) && window->m_dispatchDepth > 0)
        window->m_retired.push_back(std::move(view));
}

void Window::cancelTouchWithin(const View& subtree)
{
    if (m_tracking && m_tracking->isDescendantOf(subtree)) {
        View* tracked = m_tracking;
        m_tracking = nullptr;
        tracked->touchCancelled();
    }
}

// ---- input

void Window::dispatch(const InputEvent& event)
{
    {
        DispatchScope scope(m_dispatchDepth);
        switch (event.type) {
        case InputEvent::Type::PointerDown:
            pointerDown(event.point);
            break;
        case InputEvent::Type::PointerMove:
            pointerMove(event.point);
            break;
        case InputEvent::Type::PointerUp:
            pointerUp(event.point);
            break;
        case InputEvent::Type::Wheel:
            wheel(event);
            break;
        case InputEvent::Type::Key:
            key(event.key);
            break;
        case InputEvent::Type::Text:
            text(event.key);
            break;
        case InputEvent::Type::Quit:
            break;
        }
    }
    if (m_dispatchDepth == 0)
        finishDeferredWork();
}

View* Window::hitTestAll(PointF p)
{
    if (AlertView* alert = frontAlert())
        return alert->hitTest(p);
    if (m_sheet)
        return m_sheet->frame().contains(p) ? m_sheet->hitTest(p) : nullptr;
    if (m_popover) {
        View& panel = m_popover->panel();
        return panel.frame().contains(p) ? panel.hitTest(p) : nullptr;
    }
    return m_root->hitTest(p);
}

void Window::beginTouch(View* view, PointF p)
{
    m_tracking = view;
    if (view)
        view->touchBegan(view->pointFromScreen(p));
}

void Window::pointerDown(PointF p)
{
    if (m_tracking) {
        // A second press without a release (lost event): end the old touch first.
        View* stale = m_tracking;
        m_tracking = nullptr;
        stale->touchCancelled();
    }
    if (AlertView* alert = frontAlert()) {
        beginTouch(alert->hitTest(p), p); // modal: a press beside the alert reaches nothing
        return;
    }
    if (m_sheet) {
        beginTouch(hitTestAll(p), p); // modal: a press beside the sheet reaches nothing
        return;
    }
    if (m_popover && !m_popover->panel().frame().contains(p)) {
        // The dismissing press goes no further; its moves and release find no tracked view.
        m_popover->dismissedByWindow();
        return;
    }
    beginTouch(hitTestAll(p), p);
}

void Window::pointerMove(PointF p)
{
    if (m_tracking)
        m_tracking->touchMoved(m_tracking->pointFromScreen(p));
}

void Window::pointerUp(PointF p)
{
    if (View* tracked = m_tracking) {
        m_tracking = nullptr;
        tracked->touchEnded(tracked->pointFromScreen(p));
    }
}

void Window::wheel(const InputEvent& event)
{
    for (View* v = hitTestAll(event.point); v; v = v->parent())
        if (v->scrollWheel(v->pointFromScreen(event.point), event.wheelX, event.wheelY))
            return;
}

void Window::key(const std::string& name)
{
    std::string k = lowercase(name);
    bool isReturn = k == "return" || k == "enter" || k == "keypad enter";
    bool isEscape = k == "escape" || k == "esc";
    if (AlertView* alert = frontAlert()) {
        int count = alert->numberOfButtons();
        if (count > 0 && isReturn)
            alert->dismissWithButtonIndex(count - 1);
        else if (count > 0 && isEscape)
            alert->dismissWithButtonIndex(0);
        return; // modal: other keys wait until the alert is answered
    }
    if (offerToFocusedView([&](View& v) { return v.keyPressed(name); }))
        return;
    if (m_sheet) {
        if (!m_focused || !m_focused->isDescendantOf(*m_sheet))
            m_sheet->keyPressed(name);
        return; // modal: nothing behind the sheet hears keys
    }
    if (m_popover && isEscape) {
        m_popover->dismissedByWindow();
        return;
    }
    if (onKey)
        onKey(name);
}

void Window::text(const std::string& typed)
{
    if (frontAlert())
        return;
    offerToFocusedView([&](View& v) { return v.textInput(typed); });
}

// ---- drawing

void Window::markDirty(RectF r)
{
    double x0 = std::max(0.0, std::floor(r.x)), y0 = std::max(0.0, std::floor(r.y));
    double x1 = std::min(kScreenSize.width, std::ceil(r.maxX())),
           y1 = std::min(kScreenSize.height, std::ceil(r.maxY()));
    if (x1 <= x0 || y1 <= y0)
        return;
    PixelRect rect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
    for (PixelRect& existing : m_dirty) {
        if (contains(existing, rect))
            return;
        if (contains(rect, existing)) {
            existing = rect;
            return;
        }
    }
    m_dirty.push_back(rect);
    if (m_dirty.size() > kMaxDirtyRects) {
        PixelRect all = m_dirty.front();
        for (const PixelRect& d : m_dirty)
            all = unite(all, d);
        m_dirty = {all};
    }
}

void Window::markAllDirty()
{
    m_dirty = {{0, 0, static_cast<int>(kScreenSize.width), static_cast<int>(kScreenSize.height)}};
}

std::vector<PixelRect> Window::render()
{
    std::vector<PixelRect> redrawn = std::move(m_dirty);
    m_dirty.clear();
    if (redrawn.empty())
        return redrawn;
    m_canvas.save();
    m_canvas.setDeviceClip(redrawn);
    m_canvas.clear(Color::black());
    m_root->drawTree(m_canvas);
    if (m_popover)
        m_popover->panel().drawTree(m_canvas);
    if (m_sheet) {
        m_canvas.fillRect({0, 0, kScreenSize.width, kScreenSize.height}, kDim);
        m_sheet->drawTree(m_canvas);
    }
    if (AlertView* alert = frontAlert()) {
        m_canvas.fillRect({0, 0, kScreenSize.width, kScreenSize.height}, kDim);
        alert->drawTree(m_canvas);
    }
    m_canvas.restore();
    return redrawn;
}

ErrorOr<void> Window::writeScreenshot(const std::string& path)
{
    render();
    return writePng(m_canvas.pixels(), path).releaseError();
}

} // namespace waterline
