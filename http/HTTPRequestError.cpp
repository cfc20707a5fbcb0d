#include <waterline/http/HTTPRequestError.h>

#include <stdexcept>

namespace waterline {

const char* toString(HTTPRequestErrorCode code)
{
    switch (code) {
    case HTTPRequestErrorCode::ConnectionFailure:
        return "connectionFailure";
    case HTTPRequestErrorCode::RequestTimedOut:
        return "requestTimedOut";
    case HTTPRequestErrorCode::AuthenticationNeeded:
        return "authenticationNeeded";
    case HTTPRequestErrorCode::RequestCancelled:
        return "requestCancelled";
    case HTTPRequestErrorCode::UnableToCreateRequest:
        return "unableToCreateRequest";
    case HTTPRequestErrorCode::StreamSetupFailure:
        return "streamSetupFailure";
    case HTTPRequestErrorCode::CredentialApplicationFailure:
        return "credentialApplicationFailure";
    case HTTPRequestErrorCode::FileOperationFailure:
        return "fileOperationFailure";
    case HTTPRequestErrorCode::TooManyRedirects:
        return "tooManyRedirects";
    case HTTPRequestErrorCode::UnhandledException:
        return "unhandledException";
    }
    return "unknown";
}

namespace HTTPRequestErrors {

ErrorPtr make(HTTPRequestErrorCode code, std::string description, ErrorPtr underlying)
{
    return Error::create(kHTTPRequestErrorDomain, static_cast<int>(code), std::move(description),
                         std::move(underlying));
}

namespace {
// The five shared records, made once for the process on first use.
const ErrorPtr& shared(HTTPRequestErrorCode code)
{
    static const ErrorPtr errors[] = {
        make(HTTPRequestErrorCode::RequestTimedOut, "The request timed out"),
        make(HTTPRequestErrorCode::AuthenticationNeeded, "Authentication needed"),
        make(HTTPRequestErrorCode::RequestCancelled, "The request was cancelled"),
        make(HTTPRequestErrorCode::UnableToCreateRequest, "Unable to create request (bad url?)"),
        make(HTTPRequestErrorCode::TooManyRedirects, "The request failed because it redirected too many times"),
    };
    for (const auto& error : errors)
        if (error->code() == static_cast<int>(code))
            return error;
    throw std::logic_error("no shared error for this code");
}
} // namespace

const ErrorPtr& requestTimedOut()
{
    return shared(HTTPRequestErrorCode::RequestTimedOut);
}
const ErrorPtr& authenticationNeeded()
{
    return shared(HTTPRequestErrorCode::AuthenticationNeeded);
}
const ErrorPtr& requestCancelled()
{
    return shared(HTTPRequestErrorCode::RequestCancelled);
}
const ErrorPtr& unableToCreateRequest()
{
    return shared(HTTPRequestErrorCode::UnableToCreateRequest);
}
const ErrorPtr& tooManyRedirects()
{
    return shared(HTTPRequestErrorCode::TooManyRedirects);
}

} // namespace HTTPRequestErrors

} // namespace waterline
