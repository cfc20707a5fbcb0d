#include <waterline/app/DesktopMail.h>
#include <waterline/app/MailLink.h>
#include <waterline/app/ProcessLauncher.h>

#include <waterline/app/AppError.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>

#include <cerrno>
#include <chrono>

#include <fcntl.h>

#include <stdlib.h>

namespace waterline {

bool DesktopMail::canSendMail()
{
    if (!ProcessLauncher::isInPath("xdg-email"))
        return false;
    auto handler = ProcessLauncher::capture({"xdg-mime", "query", "default", "x-scheme-handler/mailto"});
    return handler && handler->find_first_not_of(" \t\r\n") != std::string::npos;
}

std::vector<std::string> DesktopMail::composeCommand(const std::filesystem::path& attachment)
{
    return {"xdg-email", "--utf8",
            "--subject", std::string(MailLink::kSubject),
            "--body",    std::string(MailLink::kBody),
            "--attach",  attachment.string()};
}

std::vector<std::string> DesktopMail::openLinkCommand(const std::string& link)
{
    return {"xdg-open", link};
}

namespace {

constexpr std::string_view kShareFolderPrefix = "waterline-share-";

// The mail client has long read an attachment handed over a day ago: its folder can go.
void removeStaleShareFolders(const std::filesystem::path& temporary)
{
    std::error_code error;
    auto dayAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    for (std::filesystem::directory_iterator it(temporary, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->path().filename().string().starts_with(kShareFolderPrefix) && it->is_directory(ignored)
            && it->last_write_time(ignored) < dayAgo)
            std::filesystem::remove_all(it->path(), ignored);
    }
}

} // namespace

namespace {

ErrorOr<void> writeNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    auto file = WL_TRY(FileDescriptor::open(path, O_WRONLY | O_CREAT | O_EXCL));
    WL_TRY(writeAll(file.get(), bytes));
    return file.close();
}

} // namespace

ErrorOr<std::filesystem::path> DesktopMail::writeAttachment(std::span<const std::uint8_t> jpeg)
{
    removeStaleShareFolders(std::filesystem::temp_directory_path());
    std::string folderTemplate
        = (std::filesystem::temp_directory_path() / (std::string(kShareFolderPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(folderTemplate.data())) {
        int failure = errno;
        return appError(AppErrorCode::ShareFailed, "cannot make a folder for the attachment: " + errnoText(failure),
                        Error::fromErrno(failure));
    }
    std::filesystem::path path = std::filesystem::path(folderTemplate) / std::string(MailLink::kAttachmentName);
    if (auto written = writeNewFile(path, jpeg); !written) {
        std::error_code ignored;
        std::filesystem::remove_all(path.parent_path(), ignored);
        return appError(AppErrorCode::ShareFailed, "cannot write " + path.string(), written.releaseError());
    }
    return path;
}

} // namespace waterline
