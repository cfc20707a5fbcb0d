// The application's entry: reads the command line, launches the application delegate
// and runs the application loop until the window closes (or a script quits), returning
// its status as the process's exit status. A bad command line or script prints the
// reason and exits with status 2; running out of memory on the main thread is reported
// and exits with status 1.
#include <waterline/foundation/ProgramInfo.h>
#include <waterline/app/AppDelegate.h>
#include <waterline/app/LaunchOptions.h>

#include <waterline/foundation/Error.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

int run(int argc, char** argv)
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
    for (const std::string& warning : parsed->warnings)
        std::fprintf(stderr, "waterline: warning: %s\n", warning.c_str());
    if (parsed->help) {
        if (std::fputs(launchUsage("waterline").c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "waterline: cannot write standard output: %s\n", errnoText(errno).c_str());
            return 1;
        }
        return 0;
    }
    AppDelegate delegate;
    if (auto launched = delegate.application(*parsed); !launched) {
        std::fprintf(stderr, "waterline: %s\n", launched.error()->localizedDescription().c_str());
        return parsed->script ? 2 : 1;
    }
    return delegate.run();
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Written without allocating: the heap has just run dry.
        std::fputs("waterline: out of memory\n", stderr);
        return 1;
    }
}
