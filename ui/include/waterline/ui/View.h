// The base of every on-screen element. A view has a frame in its parent's points, owns
// its children (`auto& b = parent.add<Button>(Button::Custom)`) and draws itself onto a
// software canvas. Later children lie above earlier ones.
//
//     auto& panel = root.add<View>();
//     panel.setFrame({0, 512, 768, 512});           // parent points: x, y, width, height
//     panel.setBackgroundColor(Color::black());
//     auto& slider = panel.add<Slider>();
//     slider.setRotation(-std::numbers::pi / 2);    // a quarter turn: the slider stands up
//     slider.setFrame({20, 100, 40, 300});          // the upright box, in the panel's points
//     panel.setHidden(true);                        // hides the slider with it
//
// Geometry: a view keeps a centre (in parent points), a bounds size and a rotation
// about that centre. `frame()` is the on-screen box of the rotated bounds in parent
// points; `setFrame()` sets centre and bounds so that this box is the one given, whether
// it is called before or after `setRotation()`. Rotations are quarter turns only (the
// canvas draws axis-aligned), which is all the screen uses.
//
// A view that changes what it shows calls `setNeedsDisplay()`; the window then redraws
// only the parts of the screen that changed, at most once per run-loop turn.
#pragma once

#include <waterline/foundation/Geometry.h>
#include <waterline/ui/Color.h>

#include <memory>
#include <string>
#include <optional>
#include <utility>
#include <vector>

namespace waterline {

class Canvas;
class Window;

class View {
public:
    View();
    explicit View(RectF frame);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Children. `add` constructs the child in place, appends it (topmost) and returns it;
    // the parent owns it until `removeChild` or the parent's destruction.
    template <typename T, typename... Args> T& add(Args&&... args)
    {
        auto child = std::make_unique<T>(std::forward<Args>(args)...);
        T& ref = *child;
        addChild(std::move(child));
        return ref;
    }
    View& addChild(std::unique_ptr<View>);
    std::unique_ptr<View> removeChild(View&); // hands the child back; empty if not ours
    const std::vector<std::unique_ptr<View>>& children() const { return m_children; }
    View* parent() const { return m_parent; }
    Window* window() const; // the window this view is shown in, if any

    // Geometry, in the parent's points.
    RectF frame() const;
    void setFrame(RectF);
    PointF center() const { return m_center; }
    void setCenter(PointF);
    // The local coordinate system: (boundsOrigin, boundsSize). A scrolled view moves its
    // bounds origin; children are laid out in these coordinates.
    RectF bounds() const { return {m_boundsOrigin.x, m_boundsOrigin.y, m_boundsSize.width, m_boundsSize.height}; }
    void setBoundsSize(SizeF);
    void setBoundsOrigin(PointF);
    // Rotation in radians about the centre, positive turning clockwise on screen (y is
    // down); −π/2 is a quarter turn counter-clockwise. Rounded to the nearest quarter turn.
    void setRotation(double radians);
    int quarterTurns() const { return m_quarterTurns; } // 0..3, clockwise

    // Conversions between the parent's points and this view's local points.
    PointF pointFromParent(PointF) const;
    PointF pointToParent(PointF) const;
    PointF pointFromScreen(PointF) const; // screen = the window's 768 × 1024 points
    PointF pointToScreen(PointF) const;
    RectF rectToScreen(RectF local) const; // the on-screen box of a local rectangle

    // Appearance and interaction.
    bool isHidden() const { return m_hidden; }
    void setHidden(bool);
    // Neither this view nor any ancestor is hidden.
    bool isVisibleInTree() const;
    bool isDescendantOf(const View&) const; // true for the view itself too
    std::optional<Color> backgroundColor() const { return m_background; }
    void setBackgroundColor(std::optional<Color>); // none: transparent
    bool clipsToBounds() const { return m_clipsToBounds; }
    void setClipsToBounds(bool);
    bool isUserInteractionEnabled() const { return m_userInteraction; }
    void setUserInteractionEnabled(bool on) { m_userInteraction = on; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Hit testing: the deepest visible, interactive view under a point given in the
    // parent's points, or nullptr. Points outside a view's bounds never reach its children.
    virtual View* hitTest(PointF pointInParent);
    // Whether this view accepts touches now (a disabled control does not).
    virtual bool acceptsTouches() const { return m_userInteraction; }

    // Touches, in local points. The view that received `touchBegan` gets the rest of that
    // touch even when the pointer leaves it.
    virtual void touchBegan(PointF) {}
    virtual void touchMoved(PointF) {}
    virtual void touchEnded(PointF) {}
    virtual void touchCancelled() {}
    // Mouse wheel, in notches (positive dy: away from the user, towards the top of a
    // list). Return true if handled; otherwise it goes to the parent.
    virtual bool scrollWheel(PointF, double /*dx*/, double /*dy*/) { return false; }

    // Keys and typed text reach the window's focused view first, then its ancestors in
    // turn until one returns true (handled).
    virtual bool keyPressed(const std::string& /*name*/) { return false; }
    virtual bool textInput(const std::string& /*text*/) { return false; }
    // Told when this view gains or loses the window's keyboard focus.
    virtual void focusChanged(bool /*focused*/) {}

    // Asks for a redraw of this view's area (or part of it, in local points).
    void setNeedsDisplay();
    void setNeedsDisplay(RectF local);

    // Drawing: `draw` paints this view's own content in local points (the background is
    // painted before it, the children after it). Called by the window.
    virtual void draw(Canvas&) {}
    void drawTree(Canvas&);

    // The box on screen covering this view and all its visible descendants.
    std::optional<RectF> screenBoundsOfSubtree() const;

protected:
    // Called after this view's geometry changed (children may be laid out again).
    virtual void layoutChanged() {}
    // For the root view of a window only.
    void attachToWindow(Window* window) { m_window = window; }
    friend class Window;

private:
    void markSubtreeDirty();
    void geometryWillChange();
    void geometryDidChange();

    View* m_parent = nullptr;
    Window* m_window = nullptr; // set on a window's root views only
    std::vector<std::unique_ptr<View>> m_children;
    PointF m_center;
    SizeF m_boundsSize;
    PointF m_boundsOrigin;
    int m_quarterTurns = 0;
    bool m_hidden = false;
    std::optional<Color> m_background;
    bool m_clipsToBounds = false;
    bool m_userInteraction = true;
    int m_tag = 0;
};

} // namespace waterline
