// The settings file is a flat JSON object read and written through the JSON library;
// only the layout (one member per line, in key order) is ours.
#include <waterline/settings/UserDefaults.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/json/VelJsonParser.h>
#include <waterline/json/VelJsonWriter.h>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace waterline {

namespace {

constexpr const char* kErrorDomain = "UserDefaultsErrorDomain";
constexpr int kWriteFailed = 1;
constexpr int kNotUTF8 = 2;

std::optional<UserDefaults::Value> settingFrom(const JsonValue& value)
{
    if (value.isBool())
        return value.asBool();
    if (value.isString())
        return std::string(value.asString());
    return std::nullopt;
}

JsonValue jsonFrom(const UserDefaults::Value& value)
{
    return std::visit([](const auto& v) { return JsonValue(v); }, value);
}

ErrorPtr writeFailure(const std::filesystem::path& path, ErrorPtr cause)
{
    return Error::create(kErrorDomain, kWriteFailed, "Could not write the settings file '" + path.string() + "'",
                         std::move(cause));
}

ErrorOr<void> writeSettingsFile(const std::filesystem::path& path, const std::string& text)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec)
        return writeFailure(path, Error::fromErrno(ec.value()));
    if (auto written = writeFileAtomically(path, text, {.permissions = 0600}); !written)
        return writeFailure(path, written.releaseError());
    return {};
}

} // namespace

std::optional<std::string> UserDefaults::serialize(const std::map<std::string, Value>& values)
{
    VelJsonWriter writer;
    std::string out = "{";
    const char* separator = "\n  ";
    for (const auto& [key, value] : values) {
        auto quotedKey = writer.stringWithFragment(JsonValue(key));
        auto written = writer.stringWithFragment(jsonFrom(value));
        if (!quotedKey || !written)
            return std::nullopt;
        out += separator + *quotedKey + ": " + *written;
        separator = ",\n  ";
    }
    out += values.empty() ? "}\n" : "\n}\n";
    return out;
}

std::optional<std::map<std::string, UserDefaults::Value>> UserDefaults::parse(std::string_view text)
{
    // The parser stops at a NUL byte; a file holding one is damaged, not shorter.
    if (text.find('\0') != std::string_view::npos)
        return std::nullopt;
    VelJsonParser parser;
    auto document = parser.objectWithString(std::string(text));
    if (!document || !document->isObject())
        return std::nullopt;
    std::map<std::string, Value> values;
    for (const auto& member : document->asObject()) {
        if (auto value = settingFrom(member.value))
            values[member.key.str()] = std::move(*value);
    }
    return values;
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
    auto contents = readFile(m_filePath, {.maxBytes = 1 << 20});
    if (!contents) {
        if (contents.error()->code() != ENOENT)
            std::fprintf(stderr, "waterline: cannot read the settings file: %s\n",
                         contents.error()->localizedDescription().c_str());
        return; // an empty store
    }
    std::string_view text(reinterpret_cast<const char*>(contents->data()), contents->size());
    if (auto values = parse(text))
        m_values.with([&](Values& stored) { stored = std::move(*values); });
    else
        std::fprintf(stderr, "waterline: ignoring the unreadable settings file %s\n", m_filePath.c_str());
}

bool UserDefaults::boolForKey(const std::string& key) const
{
    return m_values.with([&](const Values& values) {
        auto it = values.find(key);
        const bool* flag = it == values.end() ? nullptr : std::get_if<bool>(&it->second);
        return flag && *flag;
    });
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const
{
    return m_values.with([&](const Values& values) -> std::optional<std::string> {
        auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        if (const auto* text = std::get_if<std::string>(&it->second))
            return *text;
        return std::nullopt;
    });
}

bool UserDefaults::hasKey(const std::string& key) const
{
    return m_values.with([&](const Values& values) { return values.contains(key); });
}

template <typename Change> ErrorOr<void> UserDefaults::update(const std::string& key, Change change)
{
    return m_values.with([&](Values& values) -> ErrorOr<void> {
        Values changed = values;
        change(changed);
        auto text = serialize(changed);
        if (!text)
            return Error::create(kErrorDomain, kNotUTF8, "The setting '" + key + "' is not valid UTF-8 text");
        values = std::move(changed);
        return writeSettingsFile(m_filePath, *text);
    });
}

ErrorOr<void> UserDefaults::setBool(const std::string& key, bool value)
{
    return update(key, [&](Values& values) { values[key] = value; });
}

ErrorOr<void> UserDefaults::setString(const std::string& key, std::string value)
{
    return update(key, [&](Values& values) { values[key] = std::move(value); });
}

ErrorOr<void> UserDefaults::removeObjectForKey(const std::string& key)
{
    if (!hasKey(key))
        return {};
    return update(key, [&](Values& values) { values.erase(key); });
}

std::map<std::string, UserDefaults::Value> UserDefaults::dictionaryRepresentation() const
{
    return m_values.with([](const Values& values) { return values; });
}

} // namespace waterline
