// Cuts encoded text into lines of a fixed number of characters, carrying the column
// from one block to the next so that block edges never show in the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace waterline {

class LineWrapper {
public:
    // 0 columns: one line, however long.
    explicit LineWrapper(std::size_t columns)
        : m_columns(columns)
    {
    }

    // The text with a newline after every full line; valid until the next call.
    std::span<const std::uint8_t> wrap(std::span<const std::uint8_t> text);

    // The last line still needs its newline.
    bool lineOpen() const { return m_column > 0; }

private:
    std::size_t m_columns;
    std::size_t m_column = 0;
    std::vector<std::uint8_t> m_wrapped;
};

} // namespace waterline
