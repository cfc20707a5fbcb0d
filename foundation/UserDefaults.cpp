// The settings file is a flat JSON object, small enough to read and write here
// without a JSON library: keys with true, false or string values.
#include <waterline/foundation/UserDefaults.h>

#include <waterline/foundation/TemporaryPath.h>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace waterline {

namespace {

constexpr const char* kErrorDomain = "UserDefaultsErrorDomain";
constexpr int kWriteFailed = 1;

void appendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

void appendQuoted(std::string& out, const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

// A cursor over the text; every reader returns false on anything unexpected.
class FlatObjectReader {
public:
    explicit FlatObjectReader(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<std::map<std::string, UserDefaults::Value>> readObject()
    {
        std::map<std::string, UserDefaults::Value> values;
        skipSpace();
        if (!take('{'))
            return std::nullopt;
        skipSpace();
        if (!take('}')) {
            do {
                std::string key;
                UserDefaults::Value value;
                skipSpace();
                if (!readString(key))
                    return std::nullopt;
                skipSpace();
                if (!take(':'))
                    return std::nullopt;
                skipSpace();
                if (!readValue(value))
                    return std::nullopt;
                values[std::move(key)] = std::move(value); // a repeated key: the last one wins
                skipSpace();
            } while (take(','));
            if (!take('}'))
                return std::nullopt;
        }
        skipSpace();
        if (m_pos != m_text.size())
            return std::nullopt;
        return values;
    }

private:
    bool take(char c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool takeWord(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    void skipSpace()
    {
        while (m_pos < m_text.size()
               && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool readValue(UserDefaults::Value& value)
    {
        if (takeWord("true")) {
            value = true;
            return true;
        }
        if (takeWord("false")) {
            value = false;
            return true;
        }
        std::string text;
        if (!readString(text))
            return false;
        value = std::move(text);
        return true;
    }

    bool readHex4(std::uint32_t& unit)
    {
        if (m_pos + 4 > m_text.size())
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            char c = m_text[m_pos++];
            unit <<= 4;
            if (c >= '0' && c <= '9')
                unit |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                unit |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                unit |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool readEscape(std::string& out)
    {
        if (m_pos >= m_text.size())
            return false;
        char c = m_text[m_pos++];
        switch (c) {
        case '"':
            out += '"';
            return true;
        case '\\':
            out += '\\';
            return true;
        case '/':
            out += '/';
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            return false;
        }
        std::uint32_t unit;
        if (!readHex4(unit))
            return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return false; // a low surrogate on its own
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            std::uint32_t low;
            if (!takeWord("\\u") || !readHex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, unit);
        return true;
    }

    bool readString(std::string& out)
    {
        if (!take('"'))
            return false;
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\') {
                if (!readEscape(out))
                    return false;
            } else {
                out += c;
            }
        }
        return false;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

ErrorPtr writeFailure(const std::filesystem::path& path, int errnum)
{
    return Error::create(kErrorDomain, kWriteFailed, "Could not write the settings file '" + path.string() + "'",
                         Error::fromErrno(errnum));
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over
// `path`, so that readers see the old file or the new one, never a part of either.
ErrorPtr replaceFileAtomically(const std::filesystem::path& path, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
        return writeFailure(path, ec.value());

    std::string temporaryName = ".";
    temporaryName += path.filename().string();
    temporaryName += '.';
    temporaryName += globallyUniqueString();
    auto temporary = path.parent_path() / temporaryName;
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return writeFailure(path, errno);
    if (!writeAll(fd, bytes) || ::fsync(fd) < 0) {
        int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return writeFailure(path, saved);
    }
    if (::close(fd) < 0 || ::rename(temporary.c_str(), path.c_str()) < 0) {
        int saved = errno;
        ::unlink(temporary.c_str());
        return writeFailure(path, saved);
    }
    // Make the rename itself durable.
    int directory = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return nullptr;
}

} // namespace

std::string UserDefaults::serialize(const std::map<std::string, Value>& values)
{
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : values) {
        out += first ? "\n  " : ",\n  ";
        first = false;
        appendQuoted(out, key);
        out += ": ";
        if (const bool* flag = std::get_if<bool>(&value))
            out += *flag ? "true" : "false";
        else
            appendQuoted(out, std::get<std::string>(value));
    }
    out += first ? "}\n" : "\n}\n";
    return out;
}

std::optional<std::map<std::string, UserDefaults::Value>> UserDefaults::parse(std::string_view text)
{
    return FlatObjectReader(text).readObject();
}

std::filesystem::path UserDefaults::defaultDirectory()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::filesystem::path(config) / "waterline";
    std::filesystem::path home;
    if (const char* env = std::getenv("HOME"); env && *env)
        home = env;
    else if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        home = entry->pw_dir;
    else
        home = "/";
    return home / ".config" / "waterline";
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults* defaults = new UserDefaults(defaultDirectory()); // lives until exit
    return *defaults;
}

UserDefaults::UserDefaults(std::filesystem::path directory)
    : m_filePath(std::move(directory) / "defaults.json")
{
    std::ifstream file(m_filePath, std::ios::binary);
    if (!file)
        return; // no file yet: an empty store
    std::stringstream contents;
    contents << file.rdbuf();
    if (auto values = parse(contents.str()))
        m_values = std::move(*values);
    else
        std::fprintf(stderr, "waterline: ignoring the unreadable settings file %s\n", m_filePath.c_str());
}

bool UserDefaults::boolForKey(const std::string& key) const
{
    std::lock_guard guard(m_lock);
    auto it = m_values.find(key);
    if (it == m_values.end())
        return false;
    const bool* flag = std::get_if<bool>(&it->second);
    return flag && *flag;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const
{
    std::lock_guard guard(m_lock);
    auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&it->second))
        return *text;
    return std::nullopt;
}

bool UserDefaults::hasKey(const std::string& key) const
{
    std::lock_guard guard(m_lock);
    return m_values.contains(key);
}

ErrorPtr UserDefaults::setBool(const std::string& key, bool value)
{
    std::lock_guard guard(m_lock);
    m_values[key] = value;
    return writeLocked();
}

ErrorPtr UserDefaults::setString(const std::string& key, std::string value)
{
    std::lock_guard guard(m_lock);
    m_values[key] = std::move(value);
    return writeLocked();
}

ErrorPtr UserDefaults::removeObjectForKey(const std::string& key)
{
    std::lock_guard guard(m_lock);
    if (!m_values.erase(key))
        return nullptr;
    return writeLocked();
}

std::map<std::string, UserDefaults::Value> UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard guard(m_lock);
    return m_values;
}

ErrorPtr UserDefaults::writeLocked() const
{
    return replaceFileAtomically(m_filePath, serialize(m_values));
}

} // namespace waterline
