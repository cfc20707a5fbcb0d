// The share path's hand-off to the desktop: a mail with the picture attached, composed
// by the user's mail client when one is registered for mailto: links, otherwise the
// plain mailto: link opened in whatever handles it. Both only start a helper program
// and never wait for it.
//
// The attachment is written as "WaterPhoto.jpg" into a fresh private folder under the
// temporary directory: xdg-email passes only a path, and mail clients take the
// attachment's type (image/jpeg) from the extension. The folder stays behind because
// the client reads the file after we have handed it over; folders a day old are
// removed at the next share.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace waterline {

class DesktopMail {
public:
    // True when `xdg-mime query default x-scheme-handler/mailto` names a client and
    // xdg-email exists. Runs a helper program to its end: call it off the main thread.
    static bool canSendMail();

    // The command that composes the mail around the attachment.
    static std::vector<std::string> composeCommand(const std::filesystem::path& attachment);
    // The command that opens the fallback link.
    static std::vector<std::string> openLinkCommand(const std::string& link);

    // Writes the JPEG as the attachment file and returns its path; an error
    // (AppErrorCode::ShareFailed) when it cannot be written.
    static ErrorOr<std::filesystem::path> writeAttachment(std::span<const std::uint8_t> jpeg);
};

} // namespace waterline
