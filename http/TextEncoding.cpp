// Charset names to identifiers by a table of the names in common use, and bytes to
// UTF-8 through iconv.
#include <waterline/http/HTTPHeaderFields.h>
#include <waterline/http/TextEncoding.h>

#include <iconv.h>

#include <cerrno>

namespace waterline {

namespace {

struct Charset {
    TextEncoding encoding;
    const char* iconvName;
    std::initializer_list<std::string_view> names;
};

const Charset kCharsets[] = {
    {kASCIITextEncoding, "ASCII", {"us-ascii", "ascii", "ansi_x3.4-1968"}},
    {kJapaneseEUCTextEncoding, "EUC-JP", {"euc-jp"}},
    {kUTF8TextEncoding, "UTF-8", {"utf-8", "utf8"}},
    {kISOLatin1TextEncoding, "ISO-8859-1", {"iso-8859-1", "iso8859-1", "latin1", "l1"}},
    {kShiftJISTextEncoding, "SHIFT_JIS", {"shift_jis", "sjis", "x-sjis"}},
    {kISOLatin2TextEncoding, "ISO-8859-2", {"iso-8859-2", "latin2"}},
    {kUTF16TextEncoding, "UTF-16", {"utf-16"}},
    {kWindowsCP1251TextEncoding, "CP1251", {"windows-1251"}},
    {kWindowsCP1252TextEncoding, "CP1252", {"windows-1252"}},
    {kWindowsCP1253TextEncoding, "CP1253", {"windows-1253"}},
    {kWindowsCP1254TextEncoding, "CP1254", {"windows-1254"}},
    {kWindowsCP1250TextEncoding, "CP1250", {"windows-1250"}},
    {kISO2022JPTextEncoding, "ISO-2022-JP", {"iso-2022-jp"}},
};

const Charset* charsetFor(TextEncoding encoding)
{
    for (const auto& charset : kCharsets)
        if (charset.encoding == encoding)
            return &charset;
    return nullptr;
}

} // namespace

std::optional<TextEncoding> textEncodingForCharsetName(std::string_view name)
{
    for (const auto& charset : kCharsets)
        for (auto known : charset.names)
            if (HTTPHeaderFields::namesEqual(known, name))
                return charset.encoding;
    return std::nullopt;
}

std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, TextEncoding encoding)
{
    const Charset* charset = charsetFor(encoding);
    if (!charset)
        return std::nullopt;
    iconv_t converter = ::iconv_open("UTF-8", charset->iconvName);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    std::size_t produced = 0;
    bool valid = true;
    while (inLeft > 0) {
        char* outPosition = out.data() + produced;
        std::size_t outLeft = out.size() - produced;
        std::size_t result = ::iconv(converter, &in, &inLeft, &outPosition, &outLeft);
        produced = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        valid = false; // an invalid or incomplete sequence
        break;
    }
    ::iconv_close(converter);
    if (!valid)
        return std::nullopt;
    out.resize(produced);
    return out;
}

} // namespace waterline
