// The body stream over the shared allowance: reads pass through without a limit, are
// cut to what the window allows with one, report nothing available when the
// allowance is spent, and give back what the wrapped stream did not return.
#include <waterline/http/BandwidthAccount.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/ThrottledInputStream.h>

#include <gtest/gtest.h>

#include <thread>

using namespace waterline;
using namespace std::chrono_literals;

namespace {

// Remembers the length of every read it was asked for.
class LengthRecorder final : public InputStream {
public:
    explicit LengthRecorder(std::size_t size, std::vector<std::size_t>& asked)
        : m_inner(InputStream::fromBytes(std::make_shared<const std::vector<std::uint8_t>>(size, 'x')))
        , m_asked(asked)
    {
    }
    ErrorOr<std::size_t> read(std::span<std::uint8_t> buffer) override
    {
        m_asked.push_back(buffer.size());
        return m_inner->read(buffer);
    }

private:
    std::unique_ptr<InputStream> m_inner;
    std::vector<std::size_t>& m_asked;
};

std::uint64_t allowanceNow()
{
    return BandwidthAccount::shared().allowance(BandwidthAccount::Clock::now());
}

class ThrottledInputStreamTest : public ::testing::Test {
protected:
    void TearDown() override { HTTPRequest::setMaxBandwidthPerSecond(0); }
    std::vector<std::size_t> asked;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(32768);
};

TEST_F(ThrottledInputStreamTest, WithoutALimitReadsPassStraightThrough)
{
    ThrottledInputStream stream(std::make_unique<LengthRecorder>(40000, asked));
    EXPECT_TRUE(stream.hasBytesAvailable());
    EXPECT_EQ(*stream.read(buffer), 32768u);
    EXPECT_EQ(*stream.read(buffer), 40000u - 32768u);
    EXPECT_EQ(*stream.read(buffer), 0u);
    EXPECT_EQ(asked, (std::vector<std::size_t>{32768, 32768, 32768}));
}

TEST_F(ThrottledInputStreamTest, WithALimitReadsAreCutToTheAllowance)
{
    HTTPRequest::setMaxBandwidthPerSecond(4000);
    ThrottledInputStream stream(std::make_unique<LengthRecorder>(100000, asked));
    // Wait (bounded) until more than a quarter of the limit has been paced out.
    for (int i = 0; i < 200 && allowanceNow() < 1000; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(allowanceNow(), 1000u);
    EXPECT_EQ(*stream.read(buffer), 1000u) << "a quarter of the limit at most";

    // Spent: nothing available, and a read made anyway asks for one byte.
    HTTPRequest::incrementBandwidthUsedInLastSecond(1000000);
    EXPECT_FALSE(stream.hasBytesAvailable());
    EXPECT_EQ(*stream.read(buffer), 1u);
    EXPECT_EQ(asked.back(), 1u);
}

TEST_F(ThrottledInputStreamTest, WhatTheEndDidNotReturnIsGivenBack)
{
    HTTPRequest::setMaxBandwidthPerSecond(400000);
    auto stream = ThrottledInputStream::inputStreamWithData(std::make_shared<const std::vector<std::uint8_t>>(10, 'x'));
    for (int i = 0; i < 200 && allowanceNow() < 20000; ++i)
        std::this_thread::sleep_for(10ms);
    auto before = allowanceNow();
    EXPECT_EQ(*stream->read(buffer), 10u);
    EXPECT_EQ(*stream->read(buffer), 0u);
    // Only the 10 bytes read were counted (the allowance may have grown meanwhile).
    EXPECT_GE(allowanceNow() + 10, before);
}

TEST_F(ThrottledInputStreamTest, FilesAreReadAndMissingFilesRefused)
{
    EXPECT_TRUE(ThrottledInputStream::inputStreamWithFileAtPath("/nonexistent/body").isError());
    auto stream = ThrottledInputStream::inputStreamWithFileAtPath("/proc/self/cmdline");
    ASSERT_FALSE(stream.isError());
    EXPECT_GT(*(*stream)->read(buffer), 0u);
}

} // namespace
