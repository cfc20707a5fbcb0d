// JSON parse and write throughput of our library beside its peers, in one process.
//
// Each document is read once; each benchmark parses it into the library's value tree
// (parse/), parses it and then walks the whole tree touching every value (parse+walk/:
// fair to a parser that leaves work for the first reading), or writes a tree parsed
// beforehand, compactly or indented by two spaces. Throughput is the document's own
// size per second, for writing too, so the columns compare. The counter peak_MB is the
// heap the parse holds at its peak (the tree plus whatever the parser keeps while
// working), measured once outside the timed loop through the C allocator, which every
// library here ends in.
//
// The walk reads each value's kind, each string's and key's length and first byte, and
// each number: its exact text for us, the double the peer keeps.
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

// What a walk adds up, so that no reading can be left out.
struct Touched {
    std::size_t sum = 0;
    void text(std::string_view text) { sum += text.size() + (text.empty() ? 0 : static_cast<unsigned char>(text[0])); }
    void number(double value) { sum += static_cast<std::size_t>(value != 0); }
};

void walk(const JsonValue& value, Touched& touched)
{
    touched.sum += static_cast<std::size_t>(value.kind());
    switch (value.kind()) {
    case JsonKind::String:
        return touched.text(value.asString());
    case JsonKind::Number:
        return touched.text(value.asNumber().text());
    case JsonKind::Array:
        for (const JsonValue& element : value.asArray())
            walk(element, touched);
        return;
    case JsonKind::Object:
        for (const JsonMember& member : value.asObject()) {
            touched.text(member.key);
            walk(member.value, touched);
        }
        return;
    default:
        return;
    }
}

void walk(const rapidjson::Value& value, Touched& touched)
{
    touched.sum += static_cast<std::size_t>(value.GetType());
    if (value.IsString()) {
        touched.text({value.GetString(), value.GetStringLength()});
    } else if (value.IsNumber()) {
        touched.number(value.GetDouble());
    } else if (value.IsArray()) {
        for (const auto& element : value.GetArray())
            walk(element, touched);
    } else if (value.IsObject()) {
        for (const auto& member : value.GetObject()) {
            touched.text({member.name.GetString(), member.name.GetStringLength()});
            walk(member.value, touched);
        }
    }
}

void walk(const boost::json::value& value, Touched& touched)
{
    touched.sum += static_cast<std::size_t>(value.kind());
    switch (value.kind()) {
    case boost::json::kind::string:
        return touched.text(value.get_string());
    case boost::json::kind::double_:
    case boost::json::kind::int64:
    case boost::json::kind::uint64:
        return touched.number(value.to_number<double>());
    case boost::json::kind::array:
        for (const auto& element : value.get_array())
            walk(element, touched);
        return;
    case boost::json::kind::object:
        for (const auto& member : value.get_object()) {
            touched.text(member.key());
            walk(member.value(), touched);
        }
        return;
    default:
        return;
    }
}

void walk(const nlohmann::json& value, Touched& touched)
{
    touched.sum += static_cast<std::size_t>(value.type());
    if (value.is_string()) {
        touched.text(value.get_ref<const std::string&>());
    } else if (value.is_number()) {
        touched.number(value.get<double>());
    } else if (value.is_array()) {
        for (const auto& element : value)
            walk(element, touched);
    } else if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            touched.text(key);
            walk(member, touched);
        }
    }
}

void walk(simdjson::dom::element value, Touched& touched)
{
    touched.sum += static_cast<std::size_t>(value.type());
    switch (value.type()) {
    case simdjson::dom::element_type::STRING:
        return touched.text(std::string_view(value));
    case simdjson::dom::element_type::DOUBLE:
    case simdjson::dom::element_type::INT64:
    case simdjson::dom::element_type::UINT64:
        return touched.number(double(value));
    case simdjson::dom::element_type::ARRAY:
        for (simdjson::dom::element element : simdjson::dom::array(value))
            walk(element, touched);
        return;
    case simdjson::dom::element_type::OBJECT:
        for (simdjson::dom::key_value_pair member : simdjson::dom::object(value)) {
            touched.text(member.key);
            walk(member.value, touched);
        }
        return;
    default:
        return;
    }
}

template <typename Tree> std::size_t walked(const Tree& tree)
{
    Touched touched;
    walk(tree, touched);
    return touched.sum;
}

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

// Each peer parses (and walks, with `walking`) through the same body.
void registerParsing(const std::string& doc, const std::string& text, const simdjson::padded_string& padded,
                     bool walking)
{
    const std::string prefix = walking ? "parse+walk/" : "parse/";
    auto ours = [&text, walking] {
        VelJSON json;
        std::optional<JsonValue> value = json.objectWithString(text);
        benchmark::DoNotOptimize(walking ? walked(*value) : value->isObject());
    };
    add(prefix + "waterline/" + doc, text, ours, ours);
    auto rapid = [&text, walking] {
        rapidjson::Document document;
        document.Parse<kRapidParseFlags>(text.c_str());
        benchmark::DoNotOptimize(walking ? walked(static_cast<const rapidjson::Value&>(document))
                                         : document.HasParseError());
    };
    add(prefix + "rapidjson/" + doc, text, rapid, rapid);
    auto nlohmannParse = [&text, walking] {
        nlohmann::json value = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(walking ? walked(value) : value.is_object());
    };
    add(prefix + "nlohmann/" + doc, text, nlohmannParse, nlohmannParse);
    auto boostParse = [&text, walking] {
        boost::json::value value = boost::json::parse(text);
        benchmark::DoNotOptimize(walking ? walked(value) : value.is_object());
    };
    add(prefix + "boost/" + doc, text, boostParse, boostParse);
    auto boostMonotonic = [&text, walking] {
        boost::json::monotonic_resource resource;
        boost::json::value value = boost::json::parse(text, &resource);
        benchmark::DoNotOptimize(walking ? walked(value) : value.is_object());
    };
    add(prefix + "boost-monotonic/" + doc, text, boostMonotonic, boostMonotonic);
    auto simd = [&padded, walking] {
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        auto error = parser.parse(padded).get(root);
        benchmark::DoNotOptimize(walking && !error ? walked(root) : static_cast<std::size_t>(error));
    };
    add(prefix + "simdjson/" + doc, text, simd, simd);
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
        registerParsing(names[i], texts[i], padded[i], false);
        registerParsing(names[i], texts[i], padded[i], true);
        registerWriting(names[i], texts[i], trees[i]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
