#include <waterline/foundation/PixelBuffer.h>

#include <gtest/gtest.h>

#include <vector>

using namespace waterline;

TEST(PixelBuffer, CreateIsZeroedWithTightStride)
{
    auto buffer = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {3, 2});
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->stride(), 12u);
    EXPECT_EQ(buffer->byteCount(), 24u);
    for (std::size_t i = 0; i < buffer->byteCount(); ++i)
        EXPECT_EQ(buffer->data()[i], 0);
}

TEST(PixelBuffer, RefusesNegativeAndOverflowingSizes)
{
    EXPECT_FALSE(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {-1, 4}));
    EXPECT_FALSE(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {1 << 30, 1 << 30}));
}

TEST(PixelBuffer, WrapChecksTheSpanAndRunsRelease)
{
    std::vector<std::byte> bytes(2 * 16);
    bool released = false;
    EXPECT_FALSE(PixelBuffer::wrap(PixelFormat::BGRA32Premultiplied, {3, 3}, 16, bytes));
    {
        auto view = PixelBuffer::wrap(PixelFormat::BGRA32Premultiplied, {3, 2}, 16, bytes, [&] { released = true; });
        ASSERT_TRUE(view);
        view->row(1)[0] = 7;
        auto copy = view->clone();
        EXPECT_EQ(copy->stride(), 12u);
        EXPECT_EQ(copy->row(1)[0], 7);
    }
    EXPECT_TRUE(released);
    EXPECT_EQ(bytes[16], std::byte{7});
}
