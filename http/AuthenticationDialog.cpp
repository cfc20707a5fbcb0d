#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>

namespace waterline {

// Until a presenter exists, a prompt is declined at once.
void AuthenticationDialog::presentAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request)
{
    request->cancelAuthentication();
}

void AuthenticationDialog::presentProxyAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request)
{
    request->cancelAuthentication();
}

} // namespace waterline
