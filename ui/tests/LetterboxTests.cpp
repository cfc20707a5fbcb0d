// The letterbox mapping between window coordinates and screen points, for windows of
// other shapes and sizes than the screen.
#include <waterline/ui/Letterbox.h>

#include <gtest/gtest.h>

using namespace waterline;

namespace {

constexpr SizeF kScreen{768, 1024};

TEST(Letterbox, PlacesTheScreenCentredAtTheLargestUniformScale)
{
    struct Case {
        SizeF window;
        double scale;
        RectF rect;
    };
    const Case cases[] = {
        {{768, 1024}, 1.0, {0, 0, 768, 1024}},
        {{1536, 2048}, 2.0, {0, 0, 1536, 2048}},
        {{1000, 1024}, 1.0, {116, 0, 768, 1024}}, // bars left and right
        {{768, 1200}, 1.0, {0, 88, 768, 1024}},   // bars above and below
        {{1920, 1080}, 1080.0 / 1024, {(1920 - 810) / 2.0, 0, 810, 1080}},
        {{384, 900}, 0.5, {0, 194, 384, 512}},
    };
    for (const Case& c : cases) {
        Letterbox box(kScreen, c.window);
        EXPECT_DOUBLE_EQ(box.scale(), c.scale) << c.window.width << "x" << c.window.height;
        EXPECT_NEAR(box.screenRect().x, c.rect.x, 1e-9);
        EXPECT_NEAR(box.screenRect().y, c.rect.y, 1e-9);
        EXPECT_NEAR(box.screenRect().width, c.rect.width, 1e-9);
        EXPECT_NEAR(box.screenRect().height, c.rect.height, 1e-9);
    }
}

TEST(Letterbox, MapsWindowPointsBackToScreenPoints)
{
    struct Case {
        SizeF window;
        PointF windowPoint;
        PointF screenPoint;
        bool onScreen;
    };
    const Case cases[] = {
        {{1000, 1024}, {116, 0}, {0, 0}, true},
        {{1000, 1024}, {500, 512}, {384, 512}, true},
        {{1000, 1024}, {50, 512}, {-66, 512}, false}, // on the left bar
        {{1536, 2048}, {1535, 2047}, {767.5, 1023.5}, true},
        {{384, 900}, {192, 194 + 256}, {384, 512}, true},
        {{384, 900}, {192, 100}, {384, -188}, false}, // on the top bar
    };
    for (const Case& c : cases) {
        Letterbox box(kScreen, c.window);
        PointF p = box.toScreen(c.windowPoint);
        EXPECT_NEAR(p.x, c.screenPoint.x, 1e-9);
        EXPECT_NEAR(p.y, c.screenPoint.y, 1e-9);
        EXPECT_EQ(box.isOnScreen(c.windowPoint), c.onScreen);
        PointF back = box.toWindow(p);
        EXPECT_NEAR(back.x, c.windowPoint.x, 1e-9);
        EXPECT_NEAR(back.y, c.windowPoint.y, 1e-9);
    }
}

} // namespace
