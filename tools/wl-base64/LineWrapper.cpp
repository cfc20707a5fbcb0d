#include "LineWrapper.h"

#include <algorithm>

namespace waterline {

std::span<const std::uint8_t> LineWrapper::wrap(std::span<const std::uint8_t> text)
{
    if (columns_ == 0) {
        column_ += text.size();
        return text;
    }
    wrapped_.clear();
    while (!text.empty()) {
        const std::size_t take = std::min(columns_ - column_, text.size());
        wrapped_.insert(wrapped_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(take));
        text = text.subspan(take);
        column_ += take;
        if (column_ == columns_) {
            wrapped_.push_back('\n');
            column_ = 0;
        }
    }
    return wrapped_;
}

} // namespace waterline
