// Runs the built wl-render on generated pictures and checks its outputs pixel for pixel
// against a plain per-pixel rendering, its composition, and its refusals.
#include <waterline/effect/PictureFile.h>

#include <webp/demux.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace waterline;
namespace fs = std::filesystem;

namespace {

const std::string kTool = WATERLINE_BINARY_DIR "/bin/wl-render";

struct Result {
    int status = -1;
    std::string err;
};

std::shared_ptr<PixelBuffer> texture(Size size)
{
    std::shared_ptr<PixelBuffer> raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            std::uint8_t* p = raster->row(y) + 4 * x;
            p[0] = 0xFF;
            p[1] = static_cast<std::uint8_t>(x * 7 + y);
            p[2] = static_cast<std::uint8_t>(y * 3);
            p[3] = static_cast<std::uint8_t>((x ^ y) * 5);
        }
    return raster;
}

// The water picture written straight from the rules, one pixel at a time.
std::vector<std::uint32_t> referenceWater(const PixelBuffer& picture, float K1, float K2, float K3, float step)
{
    int width = picture.width();
    int H = static_cast<int>(K1 * static_cast<float>(picture.height()));
    std::vector<std::uint32_t> water(static_cast<std::size_t>(width) * H);
    for (int e = 0; e < H; ++e)
        for (int j = 0; j < width; ++j) {
            float L = log2f(static_cast<float>(e + 1));
            float phase = K2 * L + step;
            float dy = static_cast<float>(((double)e * 0.1) * (double)K3 * std::sin((double)phase));
            int row = std::clamp(static_cast<int>(static_cast<float>(H - 1 - e) + dy), 0, H - 1);
            float dx = static_cast<float>((double)((float)e * K3) * std::sin((double)phase));
            int column = std::clamp(static_cast<int>(static_cast<float>(j) + dx), 0, width - 1);
            std::memcpy(&water[static_cast<std::size_t>(e) * width + j], picture.row(row) + 4 * column, 4);
        }
    return water;
}

class WlRender : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "wl-render-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
    }
    void TearDown() override { fs::remove_all(m_directory); }

    fs::path path(const std::string& name) const { return m_directory / name; }

    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Runs the tool, under an address-space limit (in KiB) when one is given.
    Result run(const std::string& arguments, std::optional<long> addressSpaceLimit = std::nullopt) const
    {
        auto errors = path("stderr.txt");
        std::string limit = addressSpaceLimit ? "ulimit -v " + std::to_string(*addressSpaceLimit) + " && " : "";
        std::string command = "cd '" + m_directory.string() + "' && " + limit + "'" + kTool + "' " + arguments + " 2>'"
            + errors.string() + "'";
        int status = std::system(command.c_str());
        std::ifstream file(errors);
        Result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}};
        fs::remove(errors);
        return result;
    }

    std::shared_ptr<Picture> output(const std::string& name) const
    {
        auto decoded = PictureFile::read(path(name));
        if (!decoded) {
            ADD_FAILURE() << decoded.error()->localizedDescription();
            return nullptr;
        }
        return *decoded;
    }

    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_directory))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_directory;
};

} // namespace

TEST_F(WlRender, WaterOnlyMatchesThePlainRenderingAfterNFrames)
{
    auto input = texture({300, 200});
    write("in.png", *PictureFile::encodePNG(*input));
    ASSERT_EQ(run("in.png -o water.png --water-only --frame 7 --k1 0.9 --k2 5 --k3 0.13 --k4 0.3").status, 0);
    auto water = output("water.png");
    ASSERT_TRUE(water);
    float step = 0;
    for (int i = 0; i < 7; ++i)
        step = step - 0.3f;
    auto expected = referenceWater(*input, 0.9f, 5, 0.13f, step);
    ASSERT_EQ(water->raster().size(), Size(300, 180));
    EXPECT_EQ(std::memcmp(water->raster().data(), expected.data(), expected.size() * 4), 0);
}

TEST_F(WlRender, ComposesThePictureAboveItsReflection)
{
    auto input = texture({768, 512});
    write("in.png", *PictureFile::encodePNG(*input));
    struct Case {
        const char* k1;
        Size size;
    };
    for (auto c : {Case{"1", {768, 1024}}, Case{"0.5", {768, 512}}}) {
        ASSERT_EQ(run(std::string("in.png -o out.png --k1 ") + c.k1).status, 0);
        auto composed = output("out.png");
        ASSERT_TRUE(composed);
        ASSERT_EQ(composed->raster().size(), c.size);
        int Hr = c.size.height / 2;
        auto water = referenceWater(*input, std::stof(c.k1), 3, 0.04f, 0);
        EXPECT_EQ(std::memcmp(composed->raster().data(), input->data(), static_cast<std::size_t>(Hr) * 768 * 4), 0);
        EXPECT_EQ(std::memcmp(composed->raster().row(Hr), water.data(), water.size() * 4), 0);
    }
}

TEST_F(WlRender, FitsAnExifTurnedJpegLikeTheAlbum)
{
    auto jpeg = *PictureFile::encodeJPEG(*texture({1000, 800}), 0.9f);
    // EXIF orientation 6: stored landscape, upright portrait 800 × 1000 → 409 × 512.
    std::vector<std::uint8_t> exif
        = {0xFF, 0xD8, 0xFF, 0xE1, 0,    34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0,
           8,    0,    1,    0x01, 0x12, 0,  3,   0,   0,   0,   1, 0, 6,   0,   0, 0,  0, 0, 0};
    exif.insert(exif.end(), jpeg.begin() + 2, jpeg.end());
    write("turned.jpg", exif);
    ASSERT_EQ(run("turned.jpg -o out.jpg").status, 0);
    auto composed = output("out.jpg");
    ASSERT_TRUE(composed);
    EXPECT_EQ(composed->raster().size(), Size(409, 1024));
    ASSERT_EQ(run("turned.jpg -o big.png --no-fit").status, 1); // 800 × 1000 does not fit the buffer
}

TEST_F(WlRender, AnimatesIntoALosslessWebP)
{
    write("in.png", *PictureFile::encodePNG(*texture({64, 48})));
    ASSERT_EQ(run("in.png -o ripple.webp --animate 3 --water-only").status, 0);
    std::ifstream file(path("ripple.webp"), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WEBPVP8X");
    EXPECT_NE(bytes.find("ANIM"), std::string::npos);
    std::size_t frames = 0;
    for (auto at = bytes.find("ANMF"); at != std::string::npos; at = bytes.find("ANMF", at + 4))
        ++frames;
    EXPECT_EQ(frames, 3u);
    EXPECT_NE(bytes.find("VP8L"), std::string::npos); // lossless
}

TEST_F(WlRender, RefusalsWriteNothing)
{
    write("in.png", *PictureFile::encodePNG(*texture({40, 30})));
    write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'});
    write("wide.png", *PictureFile::encodePNG(*texture({3000, 2})));
    write("thin.png", *PictureFile::encodePNG(*texture({40, 5})));
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"", 2, "wl-render: missing INPUT\n"},
        {"in.png", 2, "wl-render: missing -o OUTPUT\n"},
        {"in.png -o out.gif", 2, "wl-render: OUTPUT must end in .png or .jpg (or .webp with --animate)\n"},
        {"in.png -o out.png --animate 2", 2,
         "wl-render: --animate writes an animated WebP: OUTPUT must end in .webp\n"},
        {"in.png -o out.png --k1 1.5", 2, "wl-render: --k1 needs a number between 0.1 and 1\n"},
        {"in.png -o out.png --k3 nan", 2, "wl-render: --k3 needs a number between 0 and 0.2\n"},
        {"in.png -o out.png --frame -1", 2, "wl-render: --frame needs a frame number from 0 to 100000000\n"},
        {"in.png -o out.png --bogus", 2, "wl-render: unknown option --bogus\n"},
        {"missing.png -o out.png", 1, "wl-render: missing.png: cannot open\n"},
        {"broken.jpg -o out.png", 1, "wl-render: broken.jpg: corrupt JPEG header"},
        {"wide.png -o out.png", 1, "wl-render: wide.png: too flat to fit 768 × 512 (could not scale image)\n"},
        {"thin.png -o out.png --k1 0.1", 1, "wl-render: thin.png: no rows to reflect: K1 × 5 rows is less than one\n"},
        {"in.png -o no/such/dir/out.png", 1, "wl-render: no/such/dir/out.png: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        auto result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << c.arguments << ": " << result.err;
        EXPECT_EQ(files(), (std::vector<std::string>{"broken.jpg", "in.png", "thin.png", "wide.png"})) << c.arguments;
    }
}

namespace {

// `jpeg` with two stray bytes before its scan (a warning decoders forgive), cut to a third.
std::vector<std::uint8_t> strayBytesThenCutShort(std::vector<std::uint8_t> jpeg)
{
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            jpeg.insert(jpeg.begin() + static_cast<long>(i), {0, 0});
            break;
        }
    jpeg.resize(jpeg.size() / 3);
    return jpeg;
}

} // namespace

TEST_F(WlRender, DamagedOrUnfittablePicturesAreRefusedWithTheReason)
{
    write("damaged.jpg", strayBytesThenCutShort(*PictureFile::encodeJPEG(*texture({400, 300}), 0.9f)));
    write("line.png", *PictureFile::encodePNG(*texture({1000000, 1})));
    write("pole.png", *PictureFile::encodePNG(*texture({1, 5000})));
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"damaged.jpg -o out.png", "wl-render: damaged.jpg: corrupt JPEG data: Premature end of JPEG file\n"},
        {"line.png -o out.png", "wl-render: line.png: too flat to fit 768 × 512 (could not scale image)\n"},
        {"pole.png -o out.png", "wl-render: pole.png: too narrow to fit 768 × 512 (could not scale image)\n"},
        // An endless stream is cut off at the picture file limit, not read until memory runs out.
        {"/dev/zero -o out.png", "wl-render: /dev/zero: file too large\n"},
    };
    for (const auto& c : cases) {
        auto result = run(c.arguments);
        EXPECT_EQ(result.status, 1) << c.arguments;
        EXPECT_EQ(result.err, c.message) << c.arguments;
        EXPECT_FALSE(fs::exists(path("out.png"))) << c.arguments;
    }
}

TEST_F(WlRender, WritesAnOutputWhoseNameIsAtTheFileSystemLimit)
{
    write("in.png", *PictureFile::encodePNG(*texture({40, 30})));
    std::string name = std::string(250, 'n') + ".png"; // 254 bytes, NAME_MAX is 255
    ASSERT_EQ(run("in.png -o " + name).status, 0);
    EXPECT_TRUE(output(name));
    EXPECT_EQ(files(), (std::vector<std::string>{"in.png", name}));
}

TEST_F(WlRender, AnimationFramesAreTheStillFramesInOrder)
{
    write("in.png", *PictureFile::encodePNG(*texture({64, 48})));
    ASSERT_EQ(run("in.png -o ripple.webp --animate 3 --frame 4").status, 0);
    std::ifstream file(path("ripple.webp"), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_RGBA;
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                         WebPAnimDecoderDelete);
    ASSERT_TRUE(decoder);
    WebPAnimInfo info;
    ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder.get(), &info));
    EXPECT_EQ(info.frame_count, 3u);
    EXPECT_EQ(info.loop_count, 0u);
    for (int frame = 4; frame < 7; ++frame) {
        ASSERT_EQ(run("in.png -o still.png --frame " + std::to_string(frame)).status, 0);
        auto still = output("still.png");
        ASSERT_TRUE(still);
        ASSERT_EQ(still->raster().size(),
                  Size(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height)));
        std::uint8_t* rgba = nullptr;
        int timestamp = 0;
        ASSERT_TRUE(WebPAnimDecoderGetNext(decoder.get(), &rgba, &timestamp));
        EXPECT_EQ(timestamp, (frame - 3) * 20);
        for (int y = 0; y < still->raster().height(); ++y)
            for (int x = 0; x < still->raster().width(); ++x) {
                const std::uint8_t* expected = still->raster().row(y) + 4 * x; // A, R, G, B, opaque
                const std::uint8_t* actual = rgba + 4 * (y * static_cast<int>(info.canvas_width) + x);
                ASSERT_EQ(std::memcmp(actual, expected + 1, 3), 0) << "frame " << frame << " at " << x << ", " << y;
            }
    }
}

TEST_F(WlRender, AnAnimationPastTheFormatLimitIsRefusedUpFront)
{
    write("in.png", *PictureFile::encodePNG(*texture({768, 512})));
    auto result = run("in.png -o ripple.webp --animate 10000");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "wl-render: ripple.webp: the animation would pass WebP's 4 GiB limit: use fewer frames or a "
              "smaller picture\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"in.png"}));
}

#if !WATERLINE_SANITIZE // the sanitizers reserve more address space than any limit below
namespace {

// Noise compresses badly, so each frame of an animation of it is large.
std::shared_ptr<PixelBuffer> noise(Size size)
{
    std::shared_ptr<PixelBuffer> raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    std::uint32_t state = 12345;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            state = state * 1664525u + 1013904223u;
            std::uint32_t pixel = (state >> 8) | 0xFF000000u;
            std::memcpy(raster->row(y) + 4 * x, &pixel, 4);
        }
    return raster;
}

} // namespace

TEST_F(WlRender, MemoryStaysBoundedAndRunningOutIsReportedCleanly)
{
    write("noise.png", *PictureFile::encodePNG(*noise({768, 512})));
    // 150 frames of 768 × 512 noise are over 200 MB encoded; only one at a time is held.
    auto animated = run("noise.png -o ripple.webp --water-only --animate 150", 200000);
    ASSERT_EQ(animated.status, 0) << animated.err;
    EXPECT_GT(fs::file_size(path("ripple.webp")), 200u << 20);
    fs::remove(path("ripple.webp"));

    auto starved = run("/dev/zero -o out.png", 100000);
    EXPECT_EQ(starved.status, 1);
    EXPECT_EQ(starved.err, "wl-render: out of memory\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"noise.png"}));
}
#endif
