#include <waterline/capture/SyntheticCamera.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace waterline {
namespace {

std::unique_ptr<PixelBuffer> blankFrame()
{
    return PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
}

std::uint32_t wordAt(const PixelBuffer& frame, int column, int row)
{
    std::uint32_t word;
    std::memcpy(&word, frame.row(row) + column * 4, 4);
    return word;
}

bool sameFrame(const PixelBuffer& a, const PixelBuffer& b)
{
    return std::memcmp(a.data(), b.data(), a.byteCount()) == 0;
}

TEST(SyntheticCamera, SensorPositionIsTheInverseOfThePipelinesTurn)
{
    struct Case {
        int camera, x, y, column, row;
    };
    // Camera 0: upright (x, y) is frame (y, 479 − x). Camera 1: upright (x, y) is frame (y, x).
    for (auto c : {Case{0, 0, 0, 0, 479}, Case{0, 479, 0, 0, 0}, Case{0, 0, 639, 639, 479}, Case{0, 10, 20, 20, 469},
                   Case{1, 0, 0, 0, 0}, Case{1, 1, 0, 0, 1}, Case{1, 479, 639, 639, 479}, Case{2, 10, 20, 20, 10}}) {
        auto at = SyntheticCamera::sensorPositionOf(c.camera, c.x, c.y);
        EXPECT_EQ(at.column, c.column) << c.camera << " " << c.x << "," << c.y;
        EXPECT_EQ(at.row, c.row) << c.camera << " " << c.x << "," << c.y;
    }
}

TEST(SyntheticCamera, FramesAreOpaqueDeterministicAndMove)
{
    SyntheticCamera camera(0);
    auto first = blankFrame(), again = blankFrame(), later = blankFrame();
    camera.drawFrame(*first, 5);
    camera.drawFrame(*again, 5);
    camera.drawFrame(*later, 6);
    EXPECT_TRUE(sameFrame(*first, *again));
    EXPECT_FALSE(sameFrame(*first, *later)) << "the moving square must move";
    for (int row = 0; row < kCameraFrameSize.height; row += 37)
        for (int column = 0; column < kCameraFrameSize.width; column += 41)
            ASSERT_EQ(first->row(row)[column * 4 + 3], 0xFF);
}

TEST(SyntheticCamera, CornersAreFourDifferentColoursSoAnyTurnShows)
{
    for (int index : {0, 1}) {
        SyntheticCamera camera(index);
        auto frame = blankFrame();
        camera.drawFrame(*frame, 0);
        std::set<std::uint32_t> corners{wordAt(*frame, 0, 0), wordAt(*frame, 639, 0), wordAt(*frame, 0, 479),
                                        wordAt(*frame, 639, 479)};
        EXPECT_EQ(corners.size(), 4u) << "camera " << index;
    }
}

TEST(SyntheticCamera, CamerasDifferAndTheTorchLightsOnlyTheCameraThatHasOne)
{
    SyntheticCamera back(0), front(1);
    auto a = blankFrame(), b = blankFrame(), lit = blankFrame(), backLit = blankFrame();
    back.drawFrame(*a, 0);
    front.drawFrame(*b, 0);
    EXPECT_FALSE(sameFrame(*a, *b));

    front.setTorchMode(TorchMode::On);
    EXPECT_EQ(front.torchMode(), TorchMode::On);
    front.drawFrame(*lit, 0);
    EXPECT_FALSE(sameFrame(*b, *lit));

    back.setTorchMode(TorchMode::On);
    EXPECT_EQ(back.torchMode(), TorchMode::Off);
    back.drawFrame(*backLit, 0);
    EXPECT_TRUE(sameFrame(*a, *backLit));
}

} // namespace
} // namespace waterline
