// JPEG decoding of damaged, crafted and unusual files. Every test picture is encoded
// here (with the library's own encoder, or libjpeg where a colour space or scan order
// is needed that ours does not write) and then damaged byte by byte.
#include <waterline/image/JpegCodec.h>
#include <waterline/image/PictureFileError.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <jpeglib.h>

using namespace waterline;

namespace {

std::unique_ptr<PixelBuffer> gradient(Size size)
{
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            std::uint8_t* p = raster->row(y) + 4 * x;
            p[0] = 255, p[1] = static_cast<std::uint8_t>(x * 3), p[2] = static_cast<std::uint8_t>(y * 5),
            p[3] = static_cast<std::uint8_t>(x + y);
        }
    return raster;
}

std::vector<std::uint8_t> baseline(Size size)
{
    return *image::encodeJPEG(*gradient(size), 0.9f);
}

struct LibjpegInput {
    Size size;
    int components;                    // 1 grey, 4 CMYK
    J_COLOR_SPACE stored;              // the file's colour space
    std::vector<jpeg_scan_info> scans; // empty: baseline
    std::function<std::uint8_t(int x, int y, int c)> sample;
};

std::vector<std::uint8_t> encodeWithLibjpeg(const LibjpegInput& input)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = static_cast<JDIMENSION>(input.size.width);
    info.image_height = static_cast<JDIMENSION>(input.size.height);
    info.input_components = input.components;
    info.in_color_space = input.components == 1 ? JCS_GRAYSCALE : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, input.stored);
    jpeg_set_quality(&info, 100, TRUE);
    if (!input.scans.empty()) {
        info.scan_info = input.scans.data();
        info.num_scans = static_cast<int>(input.scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(input.size.width * input.components));
    for (int y = 0; y < input.size.height; ++y) {
        for (int x = 0; x < input.size.width; ++x)
            for (int c = 0; c < input.components; ++c)
                row[static_cast<std::size_t>(x * input.components + c)] = input.sample(x, y, c);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

// A grey progressive file whose first scan (all DC coefficients at full precision) may
// be repeated any number of times without any warning from a decoder.
std::vector<std::uint8_t> progressive(Size size)
{
    return encodeWithLibjpeg(
        {size, 1, JCS_GRAYSCALE, {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}}, [](int x, int y, int) {
             return static_cast<std::uint8_t>(x * 4 + y);
         }});
}

std::size_t startOfScan(const std::vector<std::uint8_t>& jpeg)
{
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return i;
    ADD_FAILURE() << "no scan";
    return jpeg.size();
}

// The end of the scan starting at `sos`: the next marker that is neither a stuffed
// zero nor a restart marker.
std::size_t endOfScan(const std::vector<std::uint8_t>& jpeg, std::size_t sos)
{
    std::size_t i = sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
    for (; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] != 0 && (jpeg[i + 1] < 0xD0 || jpeg[i + 1] > 0xD7))
            return i;
    return jpeg.size();
}

std::vector<std::uint8_t> withStrayBytesBeforeScan(std::vector<std::uint8_t> jpeg)
{
    jpeg.insert(jpeg.begin() + static_cast<long>(startOfScan(jpeg)), {0, 0});
    return jpeg;
}

std::vector<std::uint8_t> firstPart(std::vector<std::uint8_t> bytes, std::size_t numerator, std::size_t denominator)
{
    bytes.resize(bytes.size() * numerator / denominator);
    return bytes;
}

std::vector<std::uint8_t> withFirstScanRepeated(const std::vector<std::uint8_t>& jpeg, int extraCopies)
{
    std::size_t sos = startOfScan(jpeg);
    std::size_t end = endOfScan(jpeg, sos);
    std::vector<std::uint8_t> crafted(jpeg.begin(), jpeg.begin() + static_cast<long>(end));
    for (int i = 0; i < extraCopies; ++i)
        crafted.insert(crafted.end(), jpeg.begin() + static_cast<long>(sos), jpeg.begin() + static_cast<long>(end));
    crafted.insert(crafted.end(), jpeg.begin() + static_cast<long>(end), jpeg.end());
    return crafted;
}

} // namespace

TEST(JpegDecoder, DamagedDataIsAnErrorWhateverWarningCameFirst)
{
    auto whole = baseline({256, 192});
    auto layered = progressive({256, 192});
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"cut short", firstPart(whole, 1, 3), "Premature end of JPEG file"},
        // A harmless warning first must not excuse the missing data after it.
        {"stray bytes, then cut short", firstPart(withStrayBytesBeforeScan(whole), 1, 3), "Premature end of JPEG file"},
        {"progressive, cut short", firstPart(layered, 2, 3), "Premature end of JPEG file"},
        {"stray bytes, then progressive cut short", firstPart(withStrayBytesBeforeScan(layered), 2, 3),
         "Premature end of JPEG file"},
        {"scan repeated past the limit", withFirstScanRepeated(layered, image::kMaxJPEGScans), "more than 500 scans"},
    };
    for (const auto& c : cases) {
        auto decoded = image::decodeJPEG(c.bytes);
        ASSERT_FALSE(decoded) << c.name;
        EXPECT_EQ(decoded.error()->code(), static_cast<int>(PictureFileErrorCode::CorruptData)) << c.name;
        auto text = decoded.error()->localizedDescription();
        EXPECT_EQ(text.rfind("corrupt JPEG data: ", 0), 0u) << c.name << ": " << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << c.name << ": " << text;
    }
}

TEST(JpegDecoder, BlemishesThatLoseNoPixelsAreForgiven)
{
    auto whole = baseline({64, 48});
    auto layered = progressive({64, 48});
    struct Case {
        const char* name;
        const std::vector<std::uint8_t>& clean;
        std::vector<std::uint8_t> blemished;
    };
    const Case cases[] = {
        {"stray bytes", whole, withStrayBytesBeforeScan(whole)},
        {"progressive, stray bytes", layered, withStrayBytesBeforeScan(layered)},
        {"progressive, a scan repeated below the limit", layered, withFirstScanRepeated(layered, 20)},
    };
    for (const auto& c : cases) {
        auto clean = image::decodeJPEG(c.clean);
        auto decoded = image::decodeJPEG(c.blemished);
        ASSERT_TRUE(clean && decoded) << c.name;
        ASSERT_EQ(decoded->raster->size(), clean->raster->size()) << c.name;
        EXPECT_EQ(std::memcmp(decoded->raster->data(), clean->raster->data(), clean->raster->byteCount()), 0) << c.name;
    }
}

TEST(JpegDecoder, AnAbandonedDecodeStopsWithCancelled)
{
    std::atomic<bool> cancelled{true};
    auto decoded = image::decodeJPEG(progressive({64, 48}), {.coverSize = std::nullopt, .cancelled = &cancelled});
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error()->code(), static_cast<int>(PictureFileErrorCode::Cancelled));
    cancelled = false;
    EXPECT_TRUE(image::decodeJPEG(progressive({64, 48}), {.coverSize = std::nullopt, .cancelled = &cancelled}));
}

TEST(JpegDecoder, CmykAndYcckFilesDecodeToRgb)
{
    // Four 16 × 16 patches of ink, stored inverted as Adobe's writers store them (and as
    // libjpeg's Adobe marker announces): cyan, magenta, yellow, half black.
    struct Patch {
        std::uint8_t ink[4];
        std::uint8_t rgb[3];
    };
    static const Patch patches[] = {{{255, 0, 0, 0}, {0, 255, 255}},
                                    {{0, 255, 0, 0}, {255, 0, 255}},
                                    {{0, 0, 255, 0}, {255, 255, 0}},
                                    {{0, 0, 0, 128}, {127, 127, 127}}};
    auto sample = [](int x, int, int c) { return static_cast<std::uint8_t>(255 - patches[x / 16].ink[c]); };
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        auto decoded = image::decodeJPEG(encodeWithLibjpeg({{64, 16}, 4, stored, {}, sample}));
        ASSERT_TRUE(decoded) << decoded.error()->localizedDescription();
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t* pixel = decoded->raster->row(8) + 4 * (16 * i + 8);
            EXPECT_EQ(pixel[0], 255);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(pixel[1 + c], patches[i].rgb[c], 4) << "patch " << i << " channel " << c;
        }
    }
}

TEST(JpegDecoder, AProgressiveFileClaimingGigapixelsIsRefusedAtAnyScale)
{
    // A progressive file is gathered at its stored size whatever the output scale, so a
    // few hundred bytes claiming 60000 × 60000 must not be decoded even at 1/8.
    auto jpeg = progressive({64, 48});
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC2) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    auto decoded = image::decodeJPEG(jpeg, {.coverSize = Size{64, 64}});
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error()->code(), static_cast<int>(PictureFileErrorCode::TooLarge));
    EXPECT_EQ(decoded.error()->localizedDescription(), "picture too large: 60000 × 60000 pixels");
}
