// The error record the libraries report failures with: a domain naming the subsystem
// ("HTTPRequestErrorDomain"), an integer code within it, and details — a description
// meant for people, optionally a failure reason, the underlying error that caused
// this one, and further string entries. A record is immutable once made and shared
// as std::shared_ptr<const Error>, so it can be handed across threads and kept by
// several owners.
//
//     auto cause = Error::fromErrno(errno);
//     auto error = Error::create("HTTPRequestErrorDomain", 8,
//                                {.localizedDescription = "Failed to delete file at path '/tmp/x'",
//                                 .underlyingError = cause});
//     if (error->code() == 8) log(error->localizedDescription());
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace waterline {

class Error;
using ErrorPtr = std::shared_ptr<const Error>;

// What an error says beyond its domain and code.
struct ErrorDetails {
    std::string localizedDescription{};
    std::optional<std::string> failureReason{};
    ErrorPtr underlyingError{};
    std::map<std::string, std::string> entries{}; // anything else, by key
};

class Error {
public:
    using Details = ErrorDetails;

    // The domain of errors made from an errno value.
    static constexpr const char* kPOSIXErrorDomain = "POSIXErrorDomain";

    static ErrorPtr create(std::string domain, int code, Details details = {});
    static ErrorPtr create(std::string domain, int code, std::string localizedDescription,
                           ErrorPtr underlyingError = {});

    // An error of kPOSIXErrorDomain with `errnum` as code and the system's text for it
    // (or the given description) as description.
    static ErrorPtr fromErrno(int errnum, std::string localizedDescription = {});

    const std::string& domain() const { return m_domain; }
    int code() const { return m_code; }
    const Details& details() const { return m_details; }

    // The description given, or "<domain> error <code>" when none was.
    std::string localizedDescription() const;
    const std::optional<std::string>& failureReason() const { return m_details.failureReason; }
    const ErrorPtr& underlyingError() const { return m_details.underlyingError; }
    std::optional<std::string> entry(const std::string& key) const;

    // "<domain> <code>: <description>", followed by the underlying errors in brackets;
    // for logs and test failure messages.
    std::string debugDescription() const;

    // Use create(); public only so that std::make_shared can reach it.
    struct PrivateTag {};
    Error(PrivateTag, std::string domain, int code, Details details);

private:
    std::string m_domain;
    int m_code;
    Details m_details;
};

// The system's text for an errno value ("No such file or directory"); safe on any thread.
std::string errnoText(int errnum);

} // namespace waterline
