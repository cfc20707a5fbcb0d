#include <waterline/app/AppDelegate.h>

#include <waterline/app/CameraCount.h>
#include <waterline/capture/CameraDevices.h>
#include <waterline/app/PhotoLibrary.h>
#include <waterline/app/ScriptRunner.h>
#include <waterline/app/ViewController.h>
#include <waterline/settings/UserDefaults.h>
#include <waterline/ui/Application.h>

#include <waterline/app/AppError.h>
#include <waterline/foundation/FileIO.h>

namespace waterline {

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate()
{
    // The script and the controller go before the window their views live in.
    m_script.reset();
    m_viewController.reset();
    m_window.reset();
}

namespace {

ErrorOr<std::vector<ScriptCommand>> readScript(const std::filesystem::path& path)
{
    auto text = readFile(path);
    if (!text) {
        // FileIO's errors are POSIX records: the code is the errno value.
        const auto reason = errnoText(text.error()->code());
        return appError(AppErrorCode::BadScript, "cannot read the script " + path.string() + ": " + reason,
                        text.releaseError());
    }
    auto commands = parseScript(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    if (!commands)
        return appError(AppErrorCode::BadScript, path.string() + ": " + commands.error()->localizedDescription());
    return commands;
}

} // namespace

ErrorOr<void> AppDelegate::application(const LaunchOptions& launchOptions)
{
    std::vector<ScriptCommand> commands;
    if (launchOptions.script)
        commands = WL_TRY(readScript(*launchOptions.script));
    m_window = WL_TRY(Application::create({.offscreen = launchOptions.offscreen}));
    if (launchOptions.configDirectory)
        m_defaults = std::make_unique<UserDefaults>(*launchOptions.configDirectory);

    ViewController::Environment environment;
    environment.defaults = m_defaults ? m_defaults.get() : &UserDefaults::standard();
    environment.picturesDirectory = launchOptions.photos.value_or(PhotoLibrary::defaultPicturesDirectory());
    environment.cameraCount = countVideoDevices(launchOptions.cameras);
    environment.cameraDevices = std::make_shared<CameraDevices>(launchOptions.cameras);
    m_viewController = std::make_unique<ViewController>(m_window->window(), std::move(environment));
    m_viewController->viewDidLoad();

    if (launchOptions.script) {
        m_script = std::make_unique<ScriptRunner>(*m_window, std::move(commands));
        // Off screen nobody can take over when the script ends, so the run ends with it.
        if (launchOptions.offscreen) {
            Application* window = m_window.get();
            m_script->onFinished = [window] { window->quit(); };
        }
        m_script->start();
    }
    return {};
}

int AppDelegate::run()
{
    int status = m_window->run();
    if (m_script && !m_script->succeeded())
        return 1;
    return status;
}

} // namespace waterline
