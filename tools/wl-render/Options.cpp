#include "Options.h"

#include "RenderError.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace waterline::render {

namespace {

std::optional<float> parseFloat(const std::string& text)
{
    float value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> parseCount(const std::string& text)
{
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::string lowercaseExtension(const std::filesystem::path& path)
{
    auto extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string formatRange(const SliderSetting& slider)
{
    char text[64];
    std::snprintf(text, sizeof text, "between %g and %g", slider.minimum, slider.maximum);
    return text;
}

// Checks the output's extension against what is asked for.
ErrorOr<void> chooseOutputKind(Options& options)
{
    auto extension = lowercaseExtension(options.output);
    if (options.animateFrames > 0) {
        if (extension != ".webp")
            return renderError("--animate writes an animated WebP: OUTPUT must end in .webp");
        options.outputKind = OutputKind::AnimatedWebP;
    } else if (extension == ".png") {
        options.outputKind = OutputKind::PNG;
    } else if (extension == ".jpg" || extension == ".jpeg") {
        options.outputKind = OutputKind::JPEG;
    } else {
        return renderError("OUTPUT must end in .png or .jpg (or .webp with --animate)");
    }
    return {};
}

} // namespace

ErrorOr<Options> parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    bool haveInput = false;
    bool haveOutput = false;
    struct Slider {
        const char* name;
        float* value;
        SliderSetting range;
    };
    const Slider sliders[] = {{"--k1", &options.K1, kK1Slider},
                              {"--k2", &options.K2, kK2Slider},
                              {"--k3", &options.K3, kK3Slider},
                              {"--k4", &options.K4, kK4Slider}};

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        auto slider
            = std::find_if(std::begin(sliders), std::end(sliders), [&](const Slider& s) { return argument == s.name; });
        if (slider != std::end(sliders)) {
            auto text = next();
            auto value = text ? parseFloat(*text) : std::nullopt;
            if (!value || *value < slider->range.minimum || *value > slider->range.maximum)
                return renderError(argument + " needs a number " + formatRange(slider->range));
            *slider->value = *value;
        } else if (argument == "-o") {
            auto text = next();
            if (!text || text->empty())
                return renderError("-o needs an output file");
            options.output = *text;
            haveOutput = true;
        } else if (argument == "--frame" || argument == "--animate") {
            auto text = next();
            bool animate = argument == "--animate";
            long lowest = animate ? 1 : 0;
            long highest = animate ? 10000 : 100000000;
            long value = text ? parseCount(*text).value_or(-1) : -1;
            if (value < lowest || value > highest)
                return renderError(animate ? "--animate needs a frame count from 1 to 10000"
                                           : "--frame needs a frame number from 0 to 100000000");
            (animate ? options.animateFrames : options.frame) = value;
        } else if (argument == "--water-only") {
            options.waterOnly = true;
        } else if (argument == "--no-fit") {
            options.fit = false;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return renderError("unknown option " + argument);
        } else if (!haveInput) {
            options.input = argument;
            haveInput = true;
        } else {
            return renderError("more than one INPUT: " + argument);
        }
    }
    if (!haveInput || !haveOutput)
        return renderError(!haveInput ? "missing INPUT" : "missing -o OUTPUT");
    WL_TRY(chooseOutputKind(options));
    return options;
}

} // namespace waterline::render
