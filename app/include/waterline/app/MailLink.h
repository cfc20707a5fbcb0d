// The texts of the share path: the desktop mail composition (subject, body, attachment)
// and the mailto: link opened when no mail client can take an attachment.
#pragma once

#include <string>
#include <string_view>

namespace waterline {

struct MailLink {
    static constexpr std::string_view kSubject = "Hello!";
    static constexpr std::string_view kBody = "Hello!";
    static constexpr std::string_view kAttachmentName = "WaterPhoto.jpg";
    static constexpr std::string_view kAttachmentType = "image/jpeg";
    static constexpr float kJPEGQuality = 0.85f;

    // Placeholder addresses of the fallback link.
    static constexpr std::string_view kRecipient = "friend@example.com";
    static constexpr std::string_view kCopyTo[2] = {"family@example.com", "colleague@example.com"};

    // "mailto:<to>?cc=<cc1>,<cc2>&subject=@Hello!&body=@Hello!", percent-escaped.
    static std::string fallbackLink();

    // Escapes, as UTF-8 bytes, every character that may not stand in a URL; letters,
    // digits and the URL punctuation (":", "/", "?", "=", "&", ",", "@", "!", ...) stay.
    static std::string percentEscape(std::string_view text);
};

} // namespace waterline
