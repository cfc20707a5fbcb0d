// Encoding and decoding 16 MiB of random bytes: the codec on each vector path this
// CPU has, beside OpenSSL's block functions and the plain per-character cores.
// Every contender allocates its output buffer on each run, as the codec does.
// Throughput counts the input: raw bytes when encoding, Base64 text when decoding.
#include "ReferenceBase64.h"
#include "SimdLevel.h"
#include <waterline/base64/Base64.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>

namespace waterline {
namespace {

constexpr std::size_t kInputSize = 16 << 20;

const std::vector<std::uint8_t>& randomBytes()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> data(kInputSize);
        std::mt19937_64 random(42);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        return data;
    }();
    return bytes;
}

const std::vector<std::uint8_t>& encodedText()
{
    static const std::vector<std::uint8_t> text = *Base64::encodeData(randomBytes());
    return text;
}

void encodeWaterline(benchmark::State& state, SimdLevel level)
{
    if (level > supportedSimdLevel()) {
        state.SkipWithError("not supported by this CPU");
        return;
    }
    limitSimdLevel(level);
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64::encodeBytes(randomBytes()));
    limitSimdLevel(supportedSimdLevel());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void decodeWaterline(benchmark::State& state, SimdLevel level)
{
    if (level > supportedSimdLevel()) {
        state.SkipWithError("not supported by this CPU");
        return;
    }
    limitSimdLevel(level);
    for (auto _ : state) {
        auto decoded = Base64::decodeBytes(encodedText());
        if (!decoded || decoded->size() != kInputSize)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(decoded);
    }
    limitSimdLevel(supportedSimdLevel());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * encodedText().size()));
}

void encodeOpenSSL(benchmark::State& state)
{
    const auto& input = randomBytes();
    for (auto _ : state) {
        std::vector<std::uint8_t> out(encodedText().size() + 1); // room for its closing NUL
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), input.data(), static_cast<int>(input.size())));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void decodeOpenSSL(benchmark::State& state)
{
    const auto& text = encodedText();
    for (auto _ : state) {
        std::vector<std::uint8_t> out(text.size() / 4 * 3);
        if (EVP_DecodeBlock(out.data(), text.data(), static_cast<int>(text.size())) < 0)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void encodePlainCore(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(reference::encode(randomBytes(), reference::kStandardChars, true));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kInputSize));
}

void decodePlainCore(benchmark::State& state)
{
    const auto& text = encodedText();
    for (auto _ : state) {
        auto decoded = reference::decode(text.data(), text.size(), reference::kStandardChars, true);
        if (!decoded)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK_CAPTURE(encodeWaterline, AVX2, SimdLevel::AVX2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeWaterline, SSSE3, SimdLevel::SSSE3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeWaterline, scalar, SimdLevel::Scalar)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeOpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(encodePlainCore)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWaterline, AVX2, SimdLevel::AVX2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWaterline, SSSE3, SimdLevel::SSSE3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWaterline, scalar, SimdLevel::Scalar)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeOpenSSL)->Unit(benchmark::kMillisecond);
BENCHMARK(decodePlainCore)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace waterline

BENCHMARK_MAIN();
