// One input event in screen points, as the window consumes it. Real input (from the
// window back end) and automated input (taps, drags and keys from a script) are both
// turned into these and go through the same queue and dispatch.
#pragma once

#include <waterline/foundation/Geometry.h>

#include <string>

namespace waterline {

struct InputEvent {
    enum class Type { PointerDown, PointerMove, PointerUp, Wheel, Key, Quit };

    Type type = Type::PointerMove;
    PointF point;                // pointer and wheel events
    double wheelX = 0;           // wheel: lines, positive = content moves up / left
    double wheelY = 0;
    std::string key;             // key events: the key's name ("Return", "Escape", "A", ...)

    static InputEvent pointerDown(PointF p) { return {Type::PointerDown, p}; }
    static InputEvent pointerMove(PointF p) { return {Type::PointerMove, p}; }
    static InputEvent pointerUp(PointF p) { return {Type::PointerUp, p}; }
    static InputEvent wheel(PointF p, double dx, double dy) { return {Type::Wheel, p, dx, dy}; }
    static InputEvent keyPress(std::string name) { return {Type::Key, {}, 0, 0, std::move(name)}; }
    static InputEvent quit() { return {Type::Quit}; }
};

} // namespace waterline
