// The per-user settings store: a few named booleans and strings ("rated", "more")
// kept in one small JSON object in $XDG_CONFIG_HOME/waterline/defaults.json
// (~/.config/waterline/defaults.json when XDG_CONFIG_HOME is unset or empty). The
// file is read once when the store is made; every change is written through at once,
// atomically (a temporary file beside it, flushed to disk, then renamed over it), so
// a crash leaves either the old or the new file. A missing key reads as false (or
// none). A file that is not a JSON object reads as empty and is left as it is until the
// next successful write replaces it; a member of another kind (a number, null, an
// array) is ignored while the other members are kept (the next write drops it).
//
//     auto& defaults = UserDefaults::standard();
//     if (!defaults.boolForKey("rated")) scheduleRatePrompt();
//     if (auto saved = defaults.setBool("rated", true); !saved)
//         report(saved.error());
//
//     UserDefaults scratch(testDirectory);   // tests: a store in a directory of their own
//
// Thread-safe.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/Guarded.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace waterline {

class UserDefaults {
public:
    using Value = std::variant<bool, std::string>;

    // The store of the user's config directory, made on first use.
    static UserDefaults& standard();

    // The default directory: $XDG_CONFIG_HOME/waterline or ~/.config/waterline.
    static std::filesystem::path defaultDirectory();

    // A store kept in `directory`/defaults.json (the directory is made when first written).
    explicit UserDefaults(std::filesystem::path directory);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // False when the key is missing or holds a string.
    bool boolForKey(const std::string& key) const;
    // None when the key is missing or holds a boolean.
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const;

    // Each change is written to the file at once. When the write fails the value is
    // still kept in memory and the error says why. A key or string that is not valid
    // UTF-8 cannot be written as JSON: it is refused and nothing changes.
    ErrorOr<void> setBool(const std::string& key, bool value);
    ErrorOr<void> setString(const std::string& key, std::string value);
    ErrorOr<void> removeObjectForKey(const std::string& key);

    std::map<std::string, Value> dictionaryRepresentation() const;
    const std::filesystem::path& filePath() const { return m_filePath; }

    // The file's form: one member per line, in key order (exposed for tests). None when
    // a key or string is not valid UTF-8.
    static std::optional<std::string> serialize(const std::map<std::string, Value>&);
    // None when the text is not a JSON object.
    static std::optional<std::map<std::string, Value>> parse(std::string_view text);

private:
    using Values = std::map<std::string, Value>;
    // Applies `change` to the values and writes them, unless the result cannot be written
    // as JSON at all.
    template <typename Change> ErrorOr<void> update(const std::string& key, Change change);

    const std::filesystem::path m_filePath;
    Guarded<Values> m_values;
};

} // namespace waterline
