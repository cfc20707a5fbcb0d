// The per-user settings store: a few named booleans and strings ("rated", "more")
// kept in one small JSON object in $XDG_CONFIG_HOME/waterline/defaults.json
// (~/.config/waterline/defaults.json when XDG_CONFIG_HOME is unset or empty). The
// file is read once when the store is made; every change is written through at once,
// atomically (a temporary file beside it, flushed to disk, then renamed over it), so
// a crash leaves either the old or the new file. A missing key reads as false (or
// none); a file that cannot be read as a flat object of string, true and false values
// reads as empty, and is left as it is until the next successful write replaces it.
//
//     auto& defaults = UserDefaults::standard();
//     if (!defaults.boolForKey("rated")) scheduleRatePrompt();
//     defaults.setBool("rated", true);
//
//     UserDefaults scratch(testDirectory);   // tests: a store in a directory of their own
//
// Thread-safe.
#pragma once

#include <waterline/foundation/Error.h>

#include <filesystem>
#include <map>
#include <mutex>
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

    // Each change is written to the file at once. On failure the value is still kept
    // in memory and the error is returned (empty on success).
    ErrorPtr setBool(const std::string& key, bool value);
    ErrorPtr setString(const std::string& key, std::string value);
    ErrorPtr removeObjectForKey(const std::string& key);

    std::map<std::string, Value> dictionaryRepresentation() const;
    const std::filesystem::path& filePath() const { return m_filePath; }

    // The small flat-JSON form used for the file (exposed for tests).
    static std::string serialize(const std::map<std::string, Value>&);
    static std::optional<std::map<std::string, Value>> parse(std::string_view text);

private:
    ErrorPtr writeLocked() const;

    const std::filesystem::path m_filePath;
    mutable std::mutex m_lock;
    std::map<std::string, Value> m_values;
};

} // namespace waterline
