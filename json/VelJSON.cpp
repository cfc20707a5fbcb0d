// The facade over one parser and one writer.
#include "waterline/json/VelJSON.h"

namespace waterline {

VelJSON::VelJSON() : jsonParser_(std::make_unique<VelJsonParser>()), jsonWriter_(std::make_unique<VelJsonWriter>()) {
    setMaxDepth(kDefaultMaxDepth);
}

std::optional<std::string> VelJSON::stringWithObject(const JsonValue& value, bool allowScalar, ErrorOut error) {
    std::optional<std::string> text =
        allowScalar ? jsonWriter_->stringWithFragment(value) : jsonWriter_->stringWithObject(value);
    if (!text) takeFailure(*jsonWriter_, error);
    return text;
}

std::optional<JsonValue> VelJSON::objectWithString(const char* text, bool allowScalar, ErrorOut error) {
    std::optional<JsonValue> value =
        allowScalar ? jsonParser_->fragmentWithString(text) : jsonParser_->objectWithString(text);
    if (!value) takeFailure(*jsonParser_, error);
    return value;
}

void VelJSON::takeFailure(const VelJsonBase& component, ErrorOut error) {
    std::optional<JsonErrorTrace> trace = component.errorTrace();
    if (error) *error = trace && !trace->empty() ? trace->back() : nullptr;
    setErrorTrace(std::move(trace));
}

}  // namespace waterline
