// The JSON facade: one parser and one writer behind a single set of calls.
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

    VelJSON();

    std::optional<std::string> stringWithObject(const JsonValue& value, bool allowScalar, ErrorOut error);
    std::optional<std::string> stringWithObject(const JsonValue& value, ErrorOut error = nullptr)
    {
        return stringWithObject(value, false, error);
    }
    std::optional<std::string> stringWithFragment(const JsonValue& value, ErrorOut error = nullptr)
    {
        return stringWithObject(value, true, error);
    }

    // `text` nullptr is absent input.
    std::optional<JsonValue> objectWithString(const char* text, bool allowScalar, ErrorOut error);
    std::optional<JsonValue> objectWithString(const char* text, ErrorOut error = nullptr)
    {
        return objectWithString(text, false, error);
    }
    std::optional<JsonValue> fragmentWithString(const char* text, ErrorOut error = nullptr)
    {
        return objectWithString(text, true, error);
    }
    std::optional<JsonValue> objectWithString(const std::string& text, bool allowScalar, ErrorOut error)
    {
        return objectWithString(text.c_str(), allowScalar, error);
    }
    std::optional<JsonValue> objectWithString(const std::string& text, ErrorOut error = nullptr)
    {
        return objectWithString(text.c_str(), false, error);
    }
    std::optional<JsonValue> fragmentWithString(const std::string& text, ErrorOut error = nullptr)
    {
        return objectWithString(text.c_str(), true, error);
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
    // Copies a failed component's trace and reports its outermost record.
    void takeFailure(const VelJsonBase& component, ErrorOut error);

    std::unique_ptr<VelJsonParser> m_jsonParser;
    std::unique_ptr<VelJsonWriter> m_jsonWriter;
};

} // namespace waterline
