// A script of timed touches that drives the screen as a person would, one command per
// line, in screen points:
//
//     wait 500                      # milliseconds
//     tap 30 994
//     drag 150 994 300 994 400      # from, to, over milliseconds
//     key Return                    # Return / Escape answer the front alert
//     screenshot /tmp/screen.png
//     quit
//
// Blank lines and comments are ignored; a comment starts with a "#" at the start of a
// word and runs to the end of the line, so "#" inside a word (a path such as
// /tmp/a#b.png) is kept. A screenshot's path is the rest of its line, spaces included.
// The keys are Return and Escape, spelt so; any other name is an error.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/Geometry.h>

#include <string>
#include <string_view>
#include <vector>

namespace waterline {

struct ScriptCommand {
    enum class Kind { Wait, Tap, Drag, Key, Screenshot, Quit };

    Kind kind = Kind::Wait;
    int milliseconds = 0; // Wait, Drag
    PointF from;          // Tap, Drag
    PointF to;            // Drag
    std::string text;     // Key: the key's name; Screenshot: the file
    int line = 0;

    friend bool operator==(const ScriptCommand&, const ScriptCommand&) = default;
};

// The commands, or an error (AppErrorCode::BadScript) whose description starts with the
// bad line's number: "line 3: ...".
ErrorOr<std::vector<ScriptCommand>> parseScript(std::string_view text);

} // namespace waterline
