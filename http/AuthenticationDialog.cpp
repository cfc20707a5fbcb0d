#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>

#include "AsciiCase.h"

#include <mutex>

namespace waterline {

namespace {

// Replacing and showing the current dialog is one step under this lock; recursive, as
// a presenter may answer at once and its request may then ask again.
std::recursive_mutex& classLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::shared_ptr<AuthenticationDialog>& current()
{
    static std::shared_ptr<AuthenticationDialog> dialog;
    return dialog;
}

AtomicProperty<std::shared_ptr<AuthenticationPresenter>>& installedPresenter()
{
    static AtomicProperty<std::shared_ptr<AuthenticationPresenter>> presenter;
    return presenter;
}

bool isScheme(const std::optional<std::string>& scheme, std::string_view name)
{
    return scheme && asciiLowercased(*scheme) == asciiLowercased(name);
}

} // namespace

AuthenticationDialog::Subject AuthenticationDialog::Subject::of(const HTTPRequest& request)
{
    auto url = request.url();
    return {
        .authenticationScheme = request.authenticationScheme(),
        .proxyAuthenticationScheme = request.proxyAuthenticationScheme(),
        .authenticationRealm = request.authenticationRealm(),
        .urlScheme = url ? url->scheme() : std::string(),
        .urlHost = url ? url->host() : std::string(),
        .proxyHost = request.proxyHost(),
    };
}

AuthenticationDialog::AuthenticationDialog(std::shared_ptr<HTTPRequest> request, Type type, Subject subject)
    : m_request(std::move(request))
    , m_type(type)
    , m_subject(std::move(subject))
{
}

std::shared_ptr<AuthenticationDialog> AuthenticationDialog::create(std::shared_ptr<HTTPRequest> request, Type type)
{
    auto subject = Subject::of(*request);
    return create(std::move(request), type, std::move(subject));
}

std::shared_ptr<AuthenticationDialog> AuthenticationDialog::create(std::shared_ptr<HTTPRequest> request, Type type,
                                                                   Subject subject)
{
    return std::shared_ptr<AuthenticationDialog>(
        new AuthenticationDialog(std::move(request), type, std::move(subject)));
}

void AuthenticationDialog::presentAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request)
{
    present(std::move(request), Type::Server);
}

void AuthenticationDialog::presentProxyAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request)
{
    present(std::move(request), Type::Proxy);
}

void AuthenticationDialog::present(std::shared_ptr<HTTPRequest> request, Type type)
{
    std::lock_guard lock(classLock());
    auto dialog = create(std::move(request), type);
    auto replaced = std::exchange(current(), dialog);
    // A dialog nobody answered still holds its request's thread: let it go.
    if (replaced)
        replaced->cancelAuthenticationFromDialog();
    dialog->show();
}

void AuthenticationDialog::setPresenter(std::shared_ptr<AuthenticationPresenter> presenter)
{
    installedPresenter().set(std::move(presenter));
}

std::shared_ptr<AuthenticationPresenter> AuthenticationDialog::presenter()
{
    return installedPresenter().get();
}

std::shared_ptr<AuthenticationDialog> AuthenticationDialog::currentDialog()
{
    std::lock_guard lock(classLock());
    return current();
}

void AuthenticationDialog::show()
{
    auto shownBy = presenter();
    if (!shownBy) {
        cancelAuthenticationFromDialog();
        return;
    }
    auto sheet = shownBy->showDialog(shared_from_this());
    m_loginDialog = std::move(sheet);
    // A presenter that answered on the spot could not dismiss a sheet it had not yet
    // handed over.
    if (auto answer = m_answer.get(); answer && m_loginDialog)
        m_loginDialog->dismissWithButtonIndex(*answer);
}

bool AuthenticationDialog::answerWith(int buttonIndex)
{
    return m_answer.modify([&](std::optional<int>& answer) {
        if (answer)
            return false;
        answer = buttonIndex;
        return true;
    });
}

void AuthenticationDialog::loginWithCredentialsFromDialog(const std::vector<std::string>& fields)
{
    if (!answerWith(kLoginButtonIndex))
        return;
    auto text = [&](std::size_t index) { return index < fields.size() ? fields[index] : std::string(); };
    auto request = m_request.get();
    if (request && type() == Type::Proxy) {
        request->setProxyUsername(text(0));
        request->setProxyPassword(text(1));
        if (asksForDomain())
            request->setProxyDomain(text(2));
    } else if (request) {
        request->setUsername(text(0));
        request->setPassword(text(1));
        if (asksForDomain())
            request->setDomain(text(2));
    }
    dismissSheet(kLoginButtonIndex);
    if (request)
        request->retryUsingSuppliedCredentials();
}

void AuthenticationDialog::cancelAuthenticationFromDialog()
{
    if (!answerWith(kCancelButtonIndex))
        return;
    if (auto request = m_request.get())
        request->cancelAuthentication();
    dismissSheet(kCancelButtonIndex);
}

void AuthenticationDialog::dismissSheet(int buttonIndex)
{
    if (m_loginDialog)
        m_loginDialog->dismissWithButtonIndex(buttonIndex);
}

std::optional<std::string> AuthenticationDialog::relevantScheme() const
{
    return type() == Type::Proxy ? m_subject.proxyAuthenticationScheme : m_subject.authenticationScheme;
}

bool AuthenticationDialog::asksForDomain() const
{
    return isScheme(relevantScheme(), "NTLM");
}

int AuthenticationDialog::numberOfSections() const
{
    return asksForDomain() ? 3 : 2;
}

double AuthenticationDialog::heightForHeaderInSection(int section) const
{
    return section == 0 ? 30 : 0;
}

double AuthenticationDialog::heightForFooterInSection(int section) const
{
    return section == numberOfSections() - 1 ? 30 : 0;
}

std::optional<std::string> AuthenticationDialog::titleForHeaderInSection(int section) const
{
    if (section != 0)
        return std::nullopt;
    return m_subject.authenticationRealm;
}

// Both kinds of prompt judge by the server's scheme and the URL: a proxy prompt warns
// about what the server exchange exposes.
std::optional<std::string> AuthenticationDialog::titleForFooterInSection(int section) const
{
    if (section != numberOfSections() - 1)
        return std::nullopt;
    bool inTheClear = isScheme(m_subject.authenticationScheme, "Basic") && m_subject.urlScheme != "https";
    return std::string(inTheClear ? kSentInTheClear : kSentSecurely);
}

AuthenticationDialog::Field AuthenticationDialog::fieldForSection(int section) const
{
    switch (section) {
    case 0:
        return {.placeholder = "User"};
    case 1:
        return {.placeholder = "Password", .secureTextEntry = true};
    default:
        return {.placeholder = "Domain"};
    }
}

std::string AuthenticationDialog::caption() const
{
    return type() == Type::Proxy ? kProxyCaption : kServerCaption;
}

std::string AuthenticationDialog::hostLabel() const
{
    if (type() == Type::Proxy)
        return m_subject.proxyHost.value_or("");
    return m_subject.urlHost;
}

} // namespace waterline
