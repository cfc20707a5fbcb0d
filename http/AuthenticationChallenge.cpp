// A small cursor over the field value; each step either takes what it names or
// leaves the position where it was.
#include <waterline/http/AuthenticationChallenge.h>
#include <waterline/http/DigestAuthentication.h>

#include "AsciiCase.h"

#include <algorithm>
#include <cstring>

namespace waterline {

namespace {

bool isTokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken68Character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || std::strchr("-._~+/", c) != nullptr;
}

class Cursor {
public:
    explicit Cursor(std::string_view text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_position >= m_text.size(); }
    bool peek(char c) const { return !atEnd() && m_text[m_position] == c; }
    std::size_t position() const { return m_position; }
    void moveTo(std::size_t position) { m_position = position; }

    void skipBlanks()
    {
        while (peek(' ') || peek('\t'))
            ++m_position;
    }
    void skipBlanksAndCommas()
    {
        while (peek(' ') || peek('\t') || peek(','))
            ++m_position;
    }
    // Past the next comma outside a quoted string, or to the end.
    void skipPastComma()
    {
        bool quoted = false;
        while (!atEnd()) {
            char c = m_text[m_position++];
            if (quoted && c == '\\' && !atEnd())
                ++m_position;
            else if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                return;
        }
    }
    bool atEndOfElement()
    {
        skipBlanks();
        return atEnd() || peek(',');
    }

    std::string_view token() { return takeWhile(isTokenCharacter); }

    // A token68 blob, taken only when the element ends right after it.
    std::optional<std::string> token68()
    {
        auto start = m_position;
        auto blob = takeWhile(isToken68Character);
        while (peek('='))
            ++m_position;
        auto end = m_position;
        if (!blob.empty() && atEndOfElement())
            return std::string(m_text.substr(start, end - start));
        m_position = start;
        return std::nullopt;
    }

    std::optional<std::string> quotedString()
    {
        auto start = m_position++;
        std::string value;
        while (!atEnd()) {
            char c = m_text[m_position++];
            if (c == '"')
                return value;
            if (c == '\\') {
                if (atEnd())
                    break;
                c = m_text[m_position++];
            }
            value += c;
        }
        m_position = start;
        return std::nullopt;
    }

    std::optional<std::string> parameterValue()
    {
        if (peek('"'))
            return quotedString();
        auto value = token();
        if (value.empty())
            return std::nullopt;
        return std::string(value);
    }

private:
    template <typename Predicate> std::string_view takeWhile(Predicate accepts)
    {
        auto start = m_position;
        while (!atEnd() && accepts(m_text[m_position]))
            ++m_position;
        return m_text.substr(start, m_position - start);
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

} // namespace

std::optional<std::string> AuthenticationChallenge::parameter(std::string_view name) const
{
    auto lowered = asciiLowercased(name);
    for (const auto& [key, value] : parameters)
        if (asciiLowercased(key) == lowered)
            return value;
    return std::nullopt;
}

bool AuthenticationChallenge::isScheme(std::string_view name) const
{
    return asciiLowercased(scheme) == asciiLowercased(name);
}

std::vector<AuthenticationChallenge> AuthenticationChallenge::parseList(std::string_view fieldValue)
{
    // The challenge being read is the last one; it is dropped when found malformed.
    std::vector<AuthenticationChallenge> challenges;
    bool reading = false, malformed = false;
    auto dropMalformed = [&] {
        if (reading && malformed)
            challenges.pop_back();
        reading = malformed = false;
    };
    Cursor cursor(fieldValue);
    while (true) {
        cursor.skipBlanksAndCommas();
        if (cursor.atEnd())
            break;
        auto name = cursor.token();
        if (name.empty()) {
            malformed = true;
            cursor.skipPastComma();
            continue;
        }
        auto afterName = cursor.position();
        cursor.skipBlanks();
        if (cursor.peek('=')) {
            cursor.moveTo(cursor.position() + 1);
            cursor.skipBlanks();
            auto value = cursor.parameterValue();
            if (!reading || challenges.back().token68 || !value || !cursor.atEndOfElement()) {
                malformed = true;
                cursor.skipPastComma();
                continue;
            }
            challenges.back().parameters.emplace_back(std::string(name), std::move(*value));
            continue;
        }
        dropMalformed();
        challenges.push_back({.scheme = std::string(name)});
        reading = true;
        if (cursor.position() > afterName)
            challenges.back().token68 = cursor.token68();
    }
    dropMalformed();
    return challenges;
}

int AuthenticationChallenge::strength(const AuthenticationChallenge& challenge)
{
    if (challenge.isScheme("Digest")) {
        auto digest = DigestChallenge::fromChallenge(challenge);
        if (!digest)
            return 0;
        return digest->usesSHA256() ? 4 : 3;
    }
    if (challenge.isScheme("NTLM"))
        return 2;
    if (challenge.isScheme("Basic"))
        return 1;
    return 0;
}

std::optional<AuthenticationChallenge>
AuthenticationChallenge::strongest(const std::vector<AuthenticationChallenge>& challenges)
{
    const AuthenticationChallenge* best = nullptr;
    int bestStrength = 0;
    for (const auto& challenge : challenges) {
        int rank = strength(challenge);
        if (rank > bestStrength) {
            best = &challenge;
            bestStrength = rank;
        }
    }
    if (!best)
        return std::nullopt;
    return *best;
}

} // namespace waterline
