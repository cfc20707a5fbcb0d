#include <waterline/app/LaunchOptions.h>

#include <waterline/app/AppError.h>

#include <charconv>

namespace waterline {

namespace {

// As many cameras as the capture layer can stand in for.
constexpr int kMaxCameras = 8;

std::optional<int> parseCameraCount(std::string_view text)
{
    int count = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc{} || end != text.data() + text.size() || count < 0 || count > kMaxCameras)
        return std::nullopt;
    return count;
}

} // namespace

ErrorOr<LaunchOptions> parseLaunchOptions(const std::vector<std::string>& arguments, const char* camerasVariable)
{
    auto bad = [](std::string reason) { return appError(AppErrorCode::BadCommandLine, std::move(reason)); };
    LaunchOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (flag == "--offscreen") {
            options.offscreen = true;
            continue;
        }
        if (flag == "--help" || flag == "-h") {
            options.help = true;
            continue;
        }
        bool takesValue = flag == "--photos" || flag == "--config-dir" || flag == "--script" || flag == "--cameras";
        if (!takesValue)
            return bad("unknown option \"" + flag + "\"");
        if (i + 1 >= arguments.size() || arguments[i + 1].empty())
            return bad(flag + " needs a value");
        const std::string& value = arguments[++i];
        if (flag == "--photos") {
            options.photos = value;
        } else if (flag == "--config-dir") {
            options.configDirectory = value;
        } else if (flag == "--script") {
            options.script = value;
        } else {
            options.cameras = parseCameraCount(value);
            if (!options.cameras)
                return bad("--cameras must be a whole number from 0 to 8, not \"" + value + "\"");
        }
    }
    if (camerasVariable && *camerasVariable) {
        auto fromVariable = parseCameraCount(camerasVariable);
        std::string problem
            = "WATERLINE_CAMERAS must be a whole number from 0 to 8, not \"" + std::string(camerasVariable) + "\"";
        // --cameras wins over the variable, so a bad variable need not stop the run.
        if (!fromVariable && options.cameras)
            options.warnings.push_back(problem + "; using --cameras");
        else if (!fromVariable)
            return bad(problem);
        else if (!options.cameras)
            options.cameras = fromVariable;
    }
    return options;
}

std::string launchUsage(const std::string& programName)
{
    return "usage: " + programName
        + " [--offscreen] [--photos DIR] [--config-dir DIR] [--script FILE] [--cameras N]\n"
          "  --offscreen       draw into memory, without a window\n"
          "  --photos DIR      the photo library folder (default: the desktop's pictures folder)\n"
          "  --config-dir DIR  the folder of the user defaults (default: $XDG_CONFIG_HOME/waterline)\n"
          "  --script FILE     run the lines of FILE: wait MS, tap X Y, drag X1 Y1 X2 Y2 MS,\n"
          "                    key Return|Escape, screenshot PATH, quit\n"
          "  --cameras N       the number of cameras found (also WATERLINE_CAMERAS)\n";
}

} // namespace waterline
