#include <waterline/effect/AlbumTargetSize.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(AlbumTargetSize, FitsIntoTheUpperHalfWithoutEnlarging)
{
    struct Case {
        SizeF photo, target;
    };
    const Case cases[] = {
        {{3264, 2448}, {682, 512}}, {{2448, 3264}, {384, 512}}, {{300, 200}, {300, 200}},
        {{768, 512}, {768, 512}},   {{1000, 100}, {768, 76}},   {{3000, 2}, {768, 0}},
        {{4032, 3024}, {682, 512}}, {{640, 480}, {640, 480}},   {{480, 640}, {384, 512}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(albumTargetSize(c.photo), c.target) << c.photo.width << "×" << c.photo.height;
}
