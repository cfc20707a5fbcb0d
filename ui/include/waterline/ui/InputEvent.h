// One input event in screen points, as the window consumes it. Real input (from the
// window back end) and automated input (taps, drags and keys from a script) are both
// turned into these and go through the same queue and dispatch.
#pragma once

#include <waterline/foundation/Geometry.h>

#include <string>

namespace waterline {

struct InputEvent {
    enum class Type { PointerDown, PointerMove, PointerUp, Wheel, Key, Text, Quit };

    Type type = Type::PointerMove;
    PointF point;      // pointer and wheel events
    double wheelX = 0; // wheel: notches as the wheel reports them; positive y is
    double wheelY = 0; // away from the user (towards the top of a list)
    std::string key;   // key events: the key's name ("Return", "Escape", "A", ...);
                       // text events: the characters typed, UTF-8 ("a", "A", "é")

    static InputEvent pointerDown(PointF p) { return {Type::PointerDown, p, 0, 0, {}}; }
    static InputEvent pointerMove(PointF p) { return {Type::PointerMove, p, 0, 0, {}}; }
    static InputEvent pointerUp(PointF p) { return {Type::PointerUp, p, 0, 0, {}}; }
    static InputEvent wheel(PointF p, double dx, double dy) { return {Type::Wheel, p, dx, dy, {}}; }
    static InputEvent keyPress(std::string name) { return {Type::Key, {}, 0, 0, std::move(name)}; }
    static InputEvent textInput(std::string text) { return {Type::Text, {}, 0, 0, std::move(text)}; }
    static InputEvent quit() { return {Type::Quit, {}, 0, 0, {}}; }
};

} // namespace waterline
