// The picture that save and share hand on: the top rows of the shown picture with its
// reflection underneath, exactly as the screen shows them.
//
// On a transparent canvas of Wr × 2Hr (the water picture's width and twice its height)
// the picture is drawn at its own size from the top-left corner, then the water picture
// over it from row Hr down. Both are drawn with source-over, so a translucent water
// pixel lets the picture's own row underneath show through, as on screen.
#pragma once

#include <waterline/effect/Picture.h>

#include <memory>

namespace waterline {

// None when there is no water picture or it has no pixels (a picture with fewer rows
// than 1 / K1). Both pictures are taken upright.
std::shared_ptr<Picture> composeWithReflection(const Picture* picture, const Picture* water);

} // namespace waterline
