// The error domain of HTTP requests, its codes and texts. Codes 2, 3, 4, 5 and 9 are
// shared objects, the same record every time; the others are made when raised.
#pragma once

#include <waterline/foundation/Error.h>

#include <string>

namespace waterline {

inline constexpr const char* kHTTPRequestErrorDomain = "HTTPRequestErrorDomain";

enum class HTTPRequestErrorCode {
    ConnectionFailure = 1,
    RequestTimedOut = 2,
    AuthenticationNeeded = 3,
    RequestCancelled = 4,
    UnableToCreateRequest = 5,
    StreamSetupFailure = 6,
    CredentialApplicationFailure = 7,
    FileOperationFailure = 8,
    TooManyRedirects = 9,
    UnhandledException = 10,
};

const char* toString(HTTPRequestErrorCode);

namespace HTTPRequestErrors {

inline constexpr const char* kConnectionFailureText = "A connection failure occurred";

const ErrorPtr& requestTimedOut();       // "The request timed out"
const ErrorPtr& authenticationNeeded();  // "Authentication needed"
const ErrorPtr& requestCancelled();      // "The request was cancelled"
const ErrorPtr& unableToCreateRequest(); // "Unable to create request (bad url?)"
const ErrorPtr& tooManyRedirects();      // "The request failed because it redirected too many times"

ErrorPtr make(HTTPRequestErrorCode, std::string description, ErrorPtr underlying = {});

} // namespace HTTPRequestErrors

} // namespace waterline
