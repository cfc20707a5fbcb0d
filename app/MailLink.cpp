#include <waterline/app/MailLink.h>

#include <cstdio>

namespace waterline {

namespace {

bool mayStandInURL(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case ';':
    case '=':
    case '?':
    case '@':
    case '_':
    case '~':
    case '#':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string MailLink::percentEscape(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (unsigned char c : text) {
        if (mayStandInURL(c)) {
            escaped += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            escaped += hex;
        }
    }
    return escaped;
}

std::string MailLink::fallbackLink()
{
    std::string mailLink = "mailto:" + std::string(kRecipient) + "?cc=" + std::string(kCopyTo[0]) + ","
        + std::string(kCopyTo[1]) + "&subject=@Hello!";
    return percentEscape(mailLink + "&body=@Hello!");
}

} // namespace waterline
