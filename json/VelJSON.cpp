// The facade over one parser and one writer.
#include <waterline/json/VelJSON.h>

namespace waterline {

VelJSON::VelJSON()
    : m_jsonParser(std::make_unique<VelJsonParser>())
    , m_jsonWriter(std::make_unique<VelJsonWriter>())
{
    setMaxDepth(kDefaultMaxDepth);
}

std::optional<std::string> VelJSON::stringWithObject(const JsonValue& value, Options options, ErrorOut error)
{
    std::optional<std::string> text
        = options.allowScalar ? m_jsonWriter->stringWithFragment(value) : m_jsonWriter->stringWithObject(value);
    if (!text)
        takeFailure(*m_jsonWriter, error);
    return text;
}

std::optional<JsonValue> VelJSON::objectWithString(const char* text, Options options, ErrorOut error)
{
    return parse(text, options, error);
}

std::optional<JsonValue> VelJSON::objectWithString(const std::string& text, Options options, ErrorOut error)
{
    return parse(text, options, error);
}

template <typename Text> std::optional<JsonValue> VelJSON::parse(const Text& text, Options options, ErrorOut error)
{
    std::optional<JsonValue> value
        = options.allowScalar ? m_jsonParser->fragmentWithString(text) : m_jsonParser->objectWithString(text);
    if (!value)
        takeFailure(*m_jsonParser, error);
    return value;
}

void VelJSON::takeFailure(const VelJsonBase& component, ErrorOut error)
{
    std::optional<JsonErrorTrace> trace = component.errorTrace();
    if (error)
        *error = trace && !trace->empty() ? trace->back() : nullptr;
    setErrorTrace(std::move(trace));
}

} // namespace waterline
