#include <waterline/app/DesktopMail.h>
#include <waterline/app/MailLink.h>
#include <waterline/app/ProcessLauncher.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

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

std::filesystem::path DesktopMail::writeAttachment(std::span<const std::uint8_t> jpeg, std::string& error)
{
    removeStaleShareFolders(std::filesystem::temp_directory_path());
    std::string folderTemplate
        = (std::filesystem::temp_directory_path() / (std::string(kShareFolderPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(folderTemplate.data())) {
        error = std::string("cannot make a folder for the attachment: ") + std::strerror(errno);
        return {};
    }
    std::filesystem::path path = std::filesystem::path(folderTemplate) / std::string(MailLink::kAttachmentName);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    file.close();
    if (!file) {
        error = "cannot write " + path.string();
        std::filesystem::remove_all(path.parent_path());
        return {};
    }
    return path;
}

} // namespace waterline
