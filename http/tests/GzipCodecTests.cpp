// The gzip codec in memory and on real files: round trips that need the output buffer
// to grow and ones that do not, zlib framing, damaged and truncated input, file
// errors, and the limit that stops a decompression bomb.
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/http/GzipCodec.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <zlib.h>

namespace waterline {
namespace {

using Data = GzipCodec::Data;

// Text that compresses well (about 5:1), long enough to span several 16 KiB pieces.
Data compressibleText(std::size_t size)
{
    std::mt19937 random(7);
    static constexpr std::string_view kWords[] = {"water ", "line ", "ripple ", "photo ", "reflection\n", "the "};
    Data text;
    while (text.size() < size) {
        const auto word = kWords[random() % std::size(kWords)];
        text.insert(text.end(), word.begin(), word.end());
    }
    text.resize(size);
    return text;
}

Data randomBytes(std::size_t size)
{
    std::mt19937 random(11);
    Data bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

Data zlibFramed(const Data& data, const Data& dictionary = {})
{
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, Z_DEFAULT_COMPRESSION), Z_OK);
    if (!dictionary.empty())
        deflateSetDictionary(&stream, dictionary.data(), static_cast<uInt>(dictionary.size()));
    Data output(deflateBound(&stream, data.size()) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    output.resize(stream.total_out);
    deflateEnd(&stream);
    return output;
}

class GzipFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(std::filesystem::create_directory(m_folder)); }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::filesystem::path write(const char* name, const Data& bytes)
    {
        const auto path = m_folder / name;
        EXPECT_FALSE(writeFileAtomically(path, bytes).isError());
        return path;
    }

    Data read(const std::filesystem::path& path) { return readFile(path).value(); }

    std::filesystem::path m_folder = temporaryFilePath();
};

TEST(GzipCodec, EmptyInputComesBackEmpty)
{
    EXPECT_EQ(GzipCodec::compressData({}), Data{});
    EXPECT_EQ(GzipCodec::uncompressZippedData({}), Data{});
}

TEST(GzipCodec, RoundTripsWithAndWithoutBufferGrowth)
{
    // Sizes around the 16 KiB step of the compressor and the input-sized steps of the
    // decompressor, for data that shrinks a lot and data that does not shrink at all.
    for (std::size_t size : {1, 100, 16383, 16384, 16385, 300000}) {
        for (const auto& original : {compressibleText(size), randomBytes(size)}) {
            SCOPED_TRACE(size);
            const auto compressed = GzipCodec::compressData(original);
            ASSERT_TRUE(compressed);
            ASSERT_GE(compressed->size(), 3u);
            EXPECT_EQ((*compressed)[0], 0x1F); // a gzip member, deflate method
            EXPECT_EQ((*compressed)[1], 0x8B);
            EXPECT_EQ((*compressed)[2], 8);
            EXPECT_EQ(GzipCodec::uncompressZippedData(*compressed), original);
        }
    }
}

TEST(GzipCodec, AcceptsZlibFraming)
{
    const auto original = compressibleText(50000);
    EXPECT_EQ(GzipCodec::uncompressZippedData(zlibFramed(original)), original);
}

TEST(GzipCodec, RefusesDamagedInputInMemory)
{
    const auto compressed = *GzipCodec::compressData(compressibleText(40000));
    auto flipped = compressed;
    flipped[compressed.size() / 2] ^= 0x55;
    const Data cases[] = {
        Data{'n', 'o', 't', ' ', 'g', 'z', 'i', 'p'},
        Data(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(compressed.size() / 2)),
        Data(compressed.begin(), compressed.end() - 1), // last byte of the length missing
        flipped,
        zlibFramed(compressibleText(100), Data{'d', 'i', 'c', 't'}),
        Data{0x1F},
    };
    for (const auto& input : cases)
        EXPECT_FALSE(GzipCodec::uncompressZippedData(input)) << input.size() << " bytes";
}

TEST(GzipCodec, StopsADecompressionBombAtTheLimit)
{
    const Data zeros(1 << 20, 0);
    const auto bomb = *GzipCodec::compressData(zeros);
    ASSERT_LT(bomb.size(), 2000u);
    EXPECT_EQ(GzipCodec::maximumInflatedSize(), GzipCodec::kDefaultMaximumInflatedSize);

    GzipCodec::setMaximumInflatedSize(zeros.size() - 1);
    EXPECT_FALSE(GzipCodec::uncompressZippedData(bomb));
    GzipCodec::setMaximumInflatedSize(zeros.size());
    EXPECT_EQ(GzipCodec::uncompressZippedData(bomb), zeros);
    GzipCodec::setMaximumInflatedSize(GzipCodec::kDefaultMaximumInflatedSize);
}

TEST_F(GzipFiles, RoundTripsThroughFiles)
{
    for (const auto& original : {compressibleText(100000), randomBytes(70000), Data{}}) {
        const auto source = write("original", original);
        ASSERT_EQ(GzipCodec::compressDataFromFile(source, m_folder / "packed.gz"), GzipCodec::kSuccess);
        const auto packed = read(m_folder / "packed.gz");
        EXPECT_EQ(GzipCodec::uncompressZippedData(packed), original);
        ASSERT_EQ(GzipCodec::uncompressZippedDataFromFile(m_folder / "packed.gz", m_folder / "unpacked"),
                  GzipCodec::kSuccess);
        EXPECT_EQ(read(m_folder / "unpacked"), original);
    }
}

TEST_F(GzipFiles, ATruncatedFileGivesItsReadablePart)
{
    const auto original = compressibleText(400000);
    const auto compressed = *GzipCodec::compressData(original);
    const auto half = static_cast<std::ptrdiff_t>(compressed.size() / 2);
    const auto source = write("cut.gz", Data(compressed.begin(), compressed.begin() + half));
    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(source, m_folder / "out"), GzipCodec::kCorruptInput);

    const auto part = read(m_folder / "out");
    ASSERT_GT(part.size(), original.size() / 4);
    ASSERT_LT(part.size(), original.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), original.begin()));
}

TEST_F(GzipFiles, ReportsBadInputAndFileErrors)
{
    const auto garbage = write("garbage", compressibleText(5000));
    const auto dictionary = write("dictionary", zlibFramed(compressibleText(100), Data{'d', 'i', 'c', 't'}));
    const auto good = write("good.gz", *GzipCodec::compressData(compressibleText(50000)));
    const auto missing = m_folder / "missing";
    const auto noFolder = m_folder / "no-folder" / "out";

    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(garbage, m_folder / "out"), GzipCodec::kCorruptInput);
    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(dictionary, m_folder / "out"), GzipCodec::kCorruptInput);
    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(good, noFolder), GzipCodec::kCannotCreateDestination);
    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(missing, m_folder / "out"), GzipCodec::kFileError);
    EXPECT_EQ(GzipCodec::compressDataFromFile(good, noFolder), GzipCodec::kFileError);
    EXPECT_EQ(GzipCodec::compressDataFromFile(missing, m_folder / "out"), GzipCodec::kFileError);
    // A full disk: the data did not all arrive, so it is not a success.
    EXPECT_EQ(GzipCodec::uncompressZippedDataFromFile(good, "/dev/full"), GzipCodec::kFileError);
    EXPECT_EQ(GzipCodec::compressDataFromFile(garbage, "/dev/full"), GzipCodec::kFileError);
}

} // namespace
} // namespace waterline
