#include "LineWrapper.h"

#include <algorithm>

namespace waterline {

std::span<const std::uint8_t> LineWrapper::wrap(std::span<const std::uint8_t> text)
{
    if (m_columns == 0) {
        m_column += text.size();
        return text;
    }
    m_wrapped.clear();
    while (!text.empty()) {
        const std::size_t take = std::min(m_columns - m_column, text.size());
        m_wrapped.insert(m_wrapped.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(take));
        text = text.subspan(take);
        m_column += take;
        if (m_column == m_columns) {
            m_wrapped.push_back('\n');
            m_column = 0;
        }
    }
    return m_wrapped;
}

} // namespace waterline
