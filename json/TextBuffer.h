// The growing output of the writer.
//
// Appending to a std::string checks and maintains its terminator on every call; the
// writer appends a great many small pieces, so it writes into spare room it has claimed
// instead and trims the text once at the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace waterline::detail {

class TextBuffer {
public:
    explicit TextBuffer(std::size_t initialCapacity) { m_text.resize(initialCapacity); }

    void put(char ch)
    {
        room(1)[0] = ch;
        ++m_used;
    }
    void put(std::string_view piece)
    {
        copy(room(piece.size()), piece);
        m_used += piece.size();
    }
    // The piece between double quotes.
    void putQuoted(std::string_view piece)
    {
        char* at = room(piece.size() + 2);
        at[0] = '"';
        copy(at + 1, piece);
        at[piece.size() + 1] = '"';
        m_used += piece.size() + 2;
    }
    // The piece between double quotes, followed by `after`.
    void putQuoted(std::string_view piece, std::string_view after)
    {
        char* at = room(piece.size() + after.size() + 2);
        at[0] = '"';
        copy(at + 1, piece);
        at[piece.size() + 1] = '"';
        copy(at + piece.size() + 2, after);
        m_used += piece.size() + after.size() + 2;
    }
    void putRepeated(char ch, std::size_t count)
    {
        std::memset(room(count), ch, count);
        m_used += count;
    }
    std::string take()
    {
        m_text.resize(m_used);
        m_used = 0;
        return std::move(m_text);
    }

private:
    // Short pieces (keys, small numbers) are copied inline rather than through a call.
    static void copy(char* to, std::string_view piece)
    {
        if (piece.size() > 16) {
            std::memcpy(to, piece.data(), piece.size());
            return;
        }
        for (std::size_t i = 0; i < piece.size(); ++i)
            to[i] = piece[i];
    }

    // At least `count` writable bytes at the end of the text.
    char* room(std::size_t count)
    {
        if (m_text.size() - m_used < count)
            m_text.resize(std::max(m_text.size() * 2, m_used + count));
        return m_text.data() + m_used;
    }

    std::string m_text;
    std::size_t m_used = 0;
};

} // namespace waterline::detail
