#include <waterline/app/Script.h>

#include <waterline/app/AppError.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>

namespace waterline {

namespace {

constexpr int kMaxMilliseconds = 10 * 60 * 1000;

std::vector<std::string> words(std::string_view line)
{
    std::vector<std::string> result;
    std::istringstream stream{std::string(line)};
    for (std::string word; stream >> word;)
        result.push_back(word);
    return result;
}

std::optional<double> parseNumber(const std::string& word)
{
    double value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    // "inf" parses too, but no point on the screen is infinitely far off.
    if (error != std::errc{} || end != word.data() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> parseMilliseconds(const std::string& word)
{
    int value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc{} || end != word.data() + word.size() || value < 0 || value > kMaxMilliseconds)
        return std::nullopt;
    return value;
}

// The line without its comment: "#" starts one at the start of a word, so that a
// screenshot's path may hold "#" ("shots/a#b.png").
std::string_view withoutComment(std::string_view line)
{
    for (std::size_t i = line.find('#'); i != std::string_view::npos; i = line.find('#', i + 1)) {
        if (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')
            return line.substr(0, i);
    }
    return line;
}

// The key names a script may press: the two that answer an alert.
bool isScriptKey(const std::string& name)
{
    return name == "Return" || name == "Escape";
}

// Reads `count` coordinates from words[1...]; false when any is not a number.
bool parsePoints(const std::vector<std::string>& w, std::size_t count, std::vector<double>& out)
{
    for (std::size_t i = 1; i <= count; ++i) {
        auto number = parseNumber(w[i]);
        if (!number)
            return false;
        out.push_back(*number);
    }
    return true;
}

// The command of one line, or the reason it is not one.
std::string parseLine(const std::vector<std::string>& w, ScriptCommand& command)
{
    const std::string& name = w[0];
    auto expect = [&](std::size_t arguments, const char* form) -> std::string {
        return w.size() == arguments + 1 ? std::string() : std::string("expected \"") + form + "\"";
    };
    std::vector<double> numbers;
    if (name == "wait") {
        if (auto bad = expect(1, "wait MS"); !bad.empty())
            return bad;
        auto ms = parseMilliseconds(w[1]);
        if (!ms)
            return "\"" + w[1] + "\" is not a duration in milliseconds";
        command.kind = ScriptCommand::Kind::Wait;
        command.milliseconds = *ms;
    } else if (name == "tap") {
        if (auto bad = expect(2, "tap X Y"); !bad.empty())
            return bad;
        if (!parsePoints(w, 2, numbers))
            return "tap needs two numbers";
        command.kind = ScriptCommand::Kind::Tap;
        command.from = {numbers[0], numbers[1]};
    } else if (name == "drag") {
        if (auto bad = expect(5, "drag X1 Y1 X2 Y2 MS"); !bad.empty())
            return bad;
        auto ms = parseMilliseconds(w[5]);
        if (!parsePoints(w, 4, numbers) || !ms)
            return "drag needs four numbers and a duration in milliseconds";
        command.kind = ScriptCommand::Kind::Drag;
        command.from = {numbers[0], numbers[1]};
        command.to = {numbers[2], numbers[3]};
        command.milliseconds = *ms;
    } else if (name == "key") {
        if (auto bad = expect(1, "key NAME"); !bad.empty())
            return bad;
        if (!isScriptKey(w[1]))
            return "unknown key \"" + w[1] + "\" (expected Return or Escape)";
        command.kind = ScriptCommand::Kind::Key;
        command.text = w[1];
    } else if (name == "screenshot") {
        if (auto bad = expect(1, "screenshot PATH"); !bad.empty())
            return bad;
        command.kind = ScriptCommand::Kind::Screenshot;
        command.text = w[1];
    } else if (name == "quit") {
        if (auto bad = expect(0, "quit"); !bad.empty())
            return bad;
        command.kind = ScriptCommand::Kind::Quit;
    } else {
        return "unknown command \"" + name + "\"";
    }
    return {};
}

} // namespace

ErrorOr<std::vector<ScriptCommand>> parseScript(std::string_view text)
{
    std::vector<ScriptCommand> commands;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line
            = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        line = withoutComment(line);
        auto w = words(line);
        if (w.empty())
            continue;
        // A screenshot's path is the rest of the line, so it may hold spaces.
        if (w[0] == "screenshot" && w.size() > 2) {
            auto rest = line.substr(line.find("screenshot") + std::string_view("screenshot").size());
            auto first = rest.find_first_not_of(" \t\r");
            auto last = rest.find_last_not_of(" \t\r");
            w = {w[0], std::string(rest.substr(first, last - first + 1))};
        }
        ScriptCommand command;
        command.line = lineNumber;
        if (auto reason = parseLine(w, command); !reason.empty())
            return appError(AppErrorCode::BadScript, "line " + std::to_string(lineNumber) + ": " + reason);
        commands.push_back(std::move(command));
    }
    return commands;
}

} // namespace waterline
