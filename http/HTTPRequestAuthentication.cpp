// Answering server and proxy challenges: the sources of credentials, the session
// stores and the hand-off with whoever is asked on the main thread.
#include <waterline/http/HTTPRequest.h>

namespace waterline {

void HTTPRequest::retryUsingSuppliedCredentials() {}

void HTTPRequest::cancelAuthentication()
{
    failWithError(HTTPRequestErrors::authenticationNeeded());
}

} // namespace waterline
