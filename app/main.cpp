// The application's entry: reads the command line, launches the application delegate
// and runs the application loop until the window closes (or a script quits), returning
// its status as the process's exit status. A bad command line prints the usage and
// exits with status 2.
#include <waterline/foundation/ProgramInfo.h>
#include <waterline/app/AppDelegate.h>
#include <waterline/app/LaunchOptions.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("waterline", argc, argv))
        return 0;
    using namespace waterline;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseLaunchOptions(arguments, std::getenv("WATERLINE_CAMERAS"));
    if (!parsed) {
        std::fprintf(stderr, "waterline: %s\n%s", parsed.error()->localizedDescription().c_str(),
                     launchUsage("waterline").c_str());
        return 2;
    }
    if (parsed->help) {
        std::fputs(launchUsage("waterline").c_str(), stdout);
        return 0;
    }
    AppDelegate delegate;
    if (auto launched = delegate.application(*parsed); !launched) {
        std::fprintf(stderr, "waterline: %s\n", launched.error()->localizedDescription().c_str());
        return parsed->script ? 2 : 1;
    }
    return delegate.run();
}
