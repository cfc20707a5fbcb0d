// The JSON facade: one parser and one writer behind a single set of calls.
//
//   VelJSON json;
//   std::shared_ptr<const JsonError> error;
//   std::optional<JsonValue> doc = json.objectWithString(R"({"rated": true})", &error);
//   if (!doc)
//       log(error->description()); // the outermost reason; json.errorTrace() has them all
//   json.setHumanReadable(true);
//   std::optional<std::string> text = json.stringWithObject(*doc);
//   std::optional<JsonValue> number = json.objectWithString("42", {.allowScalar = true}, &error);
//
// Most callers use this rather than the parser and writer themselves. It nests at most
// 512 containers deep unless told otherwise, forwards its options to its components,
// and turns a component's failure into one error out-argument (the outermost record,
// whose underlying chain leads back to the first) plus a copy of the whole trace in its
// own errorTrace(). A successful call leaves the trace of an earlier failure in place.
#pragma once

#include <waterline/json/VelJsonBase.h>
#include <waterline/json/VelJsonParser.h>
#include <waterline/json/VelJsonWriter.h>

#include <memory>
#include <optional>
#include <string>

namespace waterline {

class VelJSON : public VelJsonBase {
public:
    using ErrorOut = std::shared_ptr<const JsonError>*;
    static constexpr std::uint32_t kDefaultMaxDepth = 512;

    // What a call accepts at the top of the text or the tree.
    struct Options {
        // Any kind of value (a fragment), not only an object or an array.
        bool allowScalar = false;
    };

    VelJSON();

    std::optional<std::string> stringWithObject(const JsonValue& value, Options options, ErrorOut error);
    std::optional<std::string> stringWithObject(const JsonValue& value, ErrorOut error = nullptr)
    {
        return stringWithObject(value, Options{.allowScalar = false}, error);
    }
    std::optional<std::string> stringWithFragment(const JsonValue& value, ErrorOut error = nullptr)
    {
        return stringWithObject(value, Options{.allowScalar = true}, error);
    }

    // `text` nullptr is absent input.
    std::optional<JsonValue> objectWithString(const char* text, Options options, ErrorOut error);
    std::optional<JsonValue> objectWithString(const char* text, ErrorOut error = nullptr)
    {
        return objectWithString(text, Options{.allowScalar = false}, error);
    }
    std::optional<JsonValue> fragmentWithString(const char* text, ErrorOut error = nullptr)
    {
        return objectWithString(text, Options{.allowScalar = true}, error);
    }
    std::optional<JsonValue> objectWithString(const std::string& text, Options options, ErrorOut error);
    std::optional<JsonValue> objectWithString(const std::string& text, ErrorOut error = nullptr)
    {
        return objectWithString(text, Options{.allowScalar = false}, error);
    }
    std::optional<JsonValue> fragmentWithString(const std::string& text, ErrorOut error = nullptr)
    {
        return objectWithString(text, Options{.allowScalar = true}, error);
    }

    std::uint32_t maxDepth() const { return m_jsonParser->maxDepth(); }
    void setMaxDepth(std::uint32_t limit) { m_jsonParser->setMaxDepth(limit); }
    bool humanReadable() const { return m_jsonWriter->humanReadable(); }
    void setHumanReadable(bool on) { m_jsonWriter->setHumanReadable(on); }
    bool sortKeys() const { return m_jsonWriter->sortKeys(); }
    void setSortKeys(bool on) { m_jsonWriter->setSortKeys(on); }

    const VelJsonParser& jsonParser() const { return *m_jsonParser; }
    const VelJsonWriter& jsonWriter() const { return *m_jsonWriter; }

private:
    template <typename Text> std::optional<JsonValue> parse(const Text& text, Options options, ErrorOut error);
    // Copies a failed component's trace and reports its outermost record.
    void takeFailure(const VelJsonBase& component, ErrorOut error);

    std::unique_ptr<VelJsonParser> m_jsonParser;
    std::unique_ptr<VelJsonWriter> m_jsonWriter;
};

} // namespace waterline
