// Owned out-of-line text, and printing.
#include <waterline/json/JsonString.h>

#include <cstdlib>
#include <new>
#include <ostream>

namespace waterline {

namespace detail {

void CompactText::assignOwned(std::string_view text)
{
    release();
    if (text.size() <= kInlineCapacity)
        return setInline(text);
    // malloc rather than new: an empty text never reaches here, and the size is known.
    char* copy = static_cast<char*>(std::malloc(text.size()));
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    setOutOfLine(copy, text.size(), kOwned);
}

void CompactText::releaseOwned() noexcept
{
    std::free(const_cast<char*>(pointer()));
}

} // namespace detail

std::ostream& operator<<(std::ostream& out, const JsonString& text)
{
    return out << text.view();
}

} // namespace waterline
