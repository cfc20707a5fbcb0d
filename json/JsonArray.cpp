// The changing operations of JsonArray.
#include <waterline/json/JsonArray.h>

#include <stdexcept>
#include <string>

namespace waterline {

JsonArray::JsonArray(std::initializer_list<JsonValue> values)
{
    m_elements.reserve(values.size());
    for (const JsonValue& value : values)
        emplace_back(value);
}

const JsonValue& JsonArray::at(std::size_t index) const
{
    if (index >= size())
        throw std::out_of_range("JSON array index " + std::to_string(index) + " is past its end");
    return (*this)[index];
}

JsonValue& JsonArray::at(std::size_t index)
{
    if (index >= size())
        throw std::out_of_range("JSON array index " + std::to_string(index) + " is past its end");
    return (*this)[index];
}

JsonValue* JsonArray::insert(const JsonValue* position, JsonValue value)
{
    m_elements.noteMutableAccess();
    const auto offset = static_cast<std::size_t>(position - m_elements.data());
    JsonValue* slot = m_elements.openGapAt(offset);
    return new (slot) JsonValue(JsonValue::Relocated{}, value);
}

JsonValue* JsonArray::erase(const JsonValue* position)
{
    m_elements.noteMutableAccess();
    const auto offset = static_cast<std::size_t>(position - m_elements.data());
    m_elements.removeAt(offset);
    return m_elements.data() + offset;
}

void JsonArray::pop_back()
{
    m_elements.noteMutableAccess();
    m_elements.shrinkTo(size() - 1);
}

void JsonArray::clear()
{
    m_elements.noteMutableAccess();
    m_elements.shrinkTo(0);
}

void JsonArray::reserve(std::size_t count)
{
    m_elements.reserve(count);
}

bool operator==(const JsonArray& a, const JsonArray& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

} // namespace waterline
