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
    explicit TextBuffer(std::size_t initialCapacity) { text_.resize(initialCapacity); }

    void put(char ch) {
        room(1)[0] = ch;
        ++used_;
    }
    void put(std::string_view piece) {
        copy(room(piece.size()), piece);
        used_ += piece.size();
    }
    // The piece between double quotes.
    void putQuoted(std::string_view piece) {
        char* at = room(piece.size() + 2);
        at[0] = '"';
        copy(at + 1, piece);
        at[piece.size() + 1] = '"';
        used_ += piece.size() + 2;
    }
    // The piece between double quotes, followed by `after`.
    void putQuoted(std::string_view piece, std::string_view after) {
        char* at = room(piece.size() + after.size() + 2);
        at[0] = '"';
        copy(at + 1, piece);
        at[piece.size() + 1] = '"';
        copy(at + piece.size() + 2, after);
        used_ += piece.size() + after.size() + 2;
    }
    void putRepeated(char ch, std::size_t count) {
        std::memset(room(count), ch, count);
        used_ += count;
    }
    std::string take() {
        text_.resize(used_);
        used_ = 0;
        return std::move(text_);
    }

private:
    // Short pieces (keys, small numbers) are copied inline rather than through a call.
    static void copy(char* to, std::string_view piece) {
        if (piece.size() > 16) {
            std::memcpy(to, piece.data(), piece.size());
            return;
        }
        for (std::size_t i = 0; i < piece.size(); ++i) to[i] = piece[i];
    }

    // At least `count` writable bytes at the end of the text.
    char* room(std::size_t count) {
        if (text_.size() - used_ < count) text_.resize(std::max(text_.size() * 2, used_ + count));
        return text_.data() + used_;
    }

    std::string text_;
    std::size_t used_ = 0;
};

}  // namespace waterline::detail
