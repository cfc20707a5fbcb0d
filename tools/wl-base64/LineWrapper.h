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
        : columns_(columns)
    {
    }

    // The text with a newline after every full line; valid until the next call.
    std::span<const std::uint8_t> wrap(std::span<const std::uint8_t> text);

    // The last line still needs its newline.
    bool lineOpen() const { return column_ > 0; }

private:
    std::size_t columns_;
    std::size_t column_ = 0;
    std::vector<std::uint8_t> wrapped_;
};

} // namespace waterline
