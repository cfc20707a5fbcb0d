// The built-in credentials prompt: asked on the main thread to show a server or a
// proxy prompt for a request, it writes what was typed into the request's
// credential fields and retries it, or cancels its authentication.
#pragma once

#include <memory>

namespace waterline {

class HTTPRequest;

class AuthenticationDialog {
public:
    // Main thread.
    static void presentAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request);
    static void presentProxyAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request);
};

} // namespace waterline
