// JSON parse and write throughput of our library beside its peers, in one process.
//
// Each document is read once; each benchmark parses it into the library's value tree
// or writes a tree parsed beforehand, compactly or indented by two spaces. Throughput is
// the document's own size per second, for writing too, so the columns compare. The
// counter peak_MB is the heap the parse holds at its peak (the tree plus whatever the
// parser keeps while working), measured once outside the timed loop.
//
// Peers: RapidJSON (full-precision number parsing, as we keep exact decimals), nlohmann
// json, Boost.JSON (default and monotonic memory resource) and simdjson (DOM, parse
// only, SIMD). The input of simdjson is copied into its padded buffer beforehand.
#include "HeapMeter.h"

#include <waterline/json/VelJSON.h>

#include <benchmark/benchmark.h>
#include <boost/json.hpp>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace waterline;
using waterline::bench::peakHeapBytes;

namespace {

std::string readDocument(const std::string& name)
{
    std::ifstream in(std::string(WATERLINE_SOURCE_DIR "/../shared/bench-data/json/") + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr int kRapidParseFlags = rapidjson::kParseFullPrecisionFlag;

// Registers a benchmark whose loop body is `body` and reports the document's size per
// iteration, and the peak heap of one run of `measured`.
template <typename Body, typename Measured>
void add(const std::string& name, const std::string& document, Body body, Measured measured)
{
    benchmark::RegisterBenchmark(name.c_str(), [&document, body, measured](benchmark::State& state) {
        double peak = static_cast<double>(peakHeapBytes(measured)) / 1e6;
        for (auto _ : state)
            body();
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
        state.counters["peak_MB"] = peak;
    })->Unit(benchmark::kMillisecond);
}

void registerParsing(const std::string& doc, const std::string& text, const simdjson::padded_string& padded)
{
    auto ours = [&text] {
        VelJSON json;
        benchmark::DoNotOptimize(json.objectWithString(text));
    };
    add("parse/waterline/" + doc, text, ours, ours);
    auto rapid = [&text] {
        rapidjson::Document document;
        document.Parse<kRapidParseFlags>(text.c_str());
        benchmark::DoNotOptimize(document.HasParseError());
    };
    add("parse/rapidjson/" + doc, text, rapid, rapid);
    auto nlohmannParse = [&text] { benchmark::DoNotOptimize(nlohmann::json::parse(text)); };
    add("parse/nlohmann/" + doc, text, nlohmannParse, nlohmannParse);
    auto boostParse = [&text] { benchmark::DoNotOptimize(boost::json::parse(text)); };
    add("parse/boost/" + doc, text, boostParse, boostParse);
    auto boostMonotonic = [&text] {
        boost::json::monotonic_resource resource;
        boost::json::value value = boost::json::parse(text, &resource);
        benchmark::DoNotOptimize(value);
    };
    add("parse/boost-monotonic/" + doc, text, boostMonotonic, boostMonotonic);
    auto simd = [&padded] {
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        benchmark::DoNotOptimize(parser.parse(padded).get(root));
    };
    add("parse/simdjson/" + doc, text, simd, simd);
}

// Trees parsed once, kept for the writing benchmarks.
struct Trees {
    JsonValue ours;
    rapidjson::Document rapid;
    nlohmann::json nlohmannTree;
    boost::json::value boostTree;
};

void registerWriting(const std::string& doc, const std::string& text, Trees& trees)
{
    for (bool humanReadable : {false, true}) {
        std::string layout = humanReadable ? "human/" : "compact/";
        auto ours = [&trees, humanReadable] {
            VelJsonWriter writer;
            writer.setHumanReadable(humanReadable);
            benchmark::DoNotOptimize(writer.stringWithObject(trees.ours));
        };
        add("write/" + layout + "waterline/" + doc, text, ours, ours);
        auto rapid = [&trees, humanReadable] {
            rapidjson::StringBuffer buffer;
            if (humanReadable) {
                rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
                writer.SetIndent(' ', 2);
                trees.rapid.Accept(writer);
            } else {
                rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
                trees.rapid.Accept(writer);
            }
            benchmark::DoNotOptimize(buffer.GetString());
        };
        add("write/" + layout + "rapidjson/" + doc, text, rapid, rapid);
        auto nlohmannDump
            = [&trees, humanReadable] { benchmark::DoNotOptimize(trees.nlohmannTree.dump(humanReadable ? 2 : -1)); };
        add("write/" + layout + "nlohmann/" + doc, text, nlohmannDump, nlohmannDump);
        if (!humanReadable) {
            auto boostSerialize = [&trees] { benchmark::DoNotOptimize(boost::json::serialize(trees.boostTree)); };
            add("write/" + layout + "boost/" + doc, text, boostSerialize, boostSerialize);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    static std::vector<std::string> names = {"twitter.json", "citm_catalog.json", "canada.json"};
    static std::vector<std::string> texts;
    static std::vector<simdjson::padded_string> padded;
    static std::vector<Trees> trees(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        texts.push_back(readDocument(names[i]));
        if (texts.back().empty()) {
            std::fprintf(stderr, "bench_json: %s not found beside the source tree\n", names[i].c_str());
            return 1;
        }
        padded.emplace_back(texts.back());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        VelJSON json;
        trees[i].ours = *json.objectWithString(texts[i]);
        trees[i].rapid.Parse<kRapidParseFlags>(texts[i].c_str());
        trees[i].nlohmannTree = nlohmann::json::parse(texts[i]);
        trees[i].boostTree = boost::json::parse(texts[i]);
        registerParsing(names[i], texts[i], padded[i]);
        registerWriting(names[i], texts[i], trees[i]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
