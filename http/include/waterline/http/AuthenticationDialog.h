// The built-in credentials prompt: asked on the main thread to show a server or a
// proxy prompt for a request, it writes what was typed into the request's
// credential fields and retries it, or cancels its authentication.
//
// The dialog is the form's model: its sections (User, Password, and Domain for NTLM),
// caption, host label, header and footer texts, and the Login and Cancel actions. A
// presenter set by the program shows it (see AuthenticationPresenter.h). One dialog is
// current at a time; presenting a new one replaces it, and a dialog it replaces that was
// never answered is cancelled first, so that its request does not wait for ever.
//
//     AuthenticationDialog::setPresenter(std::make_shared<TerminalAuthenticationPresenter>());
//     ... on the main thread, asked by a waiting request:
//     AuthenticationDialog::presentAuthenticationDialogForRequest(request);
#pragma once

#include <waterline/http/AtomicProperty.h>
#include <waterline/http/AuthenticationPresenter.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class HTTPRequest;

class AuthenticationDialog : public std::enable_shared_from_this<AuthenticationDialog> {
public:
    enum class Type : std::int32_t { Server = 0, Proxy = 1 };

    // The request's state that the form shows, read when the dialog is made (the request
    // waits meanwhile, so it does not change while the form is up).
    struct Subject {
        std::optional<std::string> authenticationScheme; // "Basic", "Digest", "NTLM", ...
        std::optional<std::string> proxyAuthenticationScheme;
        std::optional<std::string> authenticationRealm;
        std::string urlScheme; // "http", "https"
        std::string urlHost;
        std::optional<std::string> proxyHost;

        static Subject of(const HTTPRequest&);
    };

    struct Field {
        std::string placeholder;
        bool secureTextEntry = false;    // masked
        bool autocapitalization = false; // never on: user names and domains are typed as meant
    };

    // Main thread.
    static void presentAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request);
    static void presentProxyAuthenticationDialogForRequest(std::shared_ptr<HTTPRequest> request);

    // The program's presenter, for every dialog from now on; none: prompts are declined.
    static void setPresenter(std::shared_ptr<AuthenticationPresenter> presenter);
    static std::shared_ptr<AuthenticationPresenter> presenter();
    // The dialog presented last (answered or not), until the next one replaces it.
    static std::shared_ptr<AuthenticationDialog> currentDialog();

    static std::shared_ptr<AuthenticationDialog> create(std::shared_ptr<HTTPRequest> request, Type type);
    // For tests: a dialog showing `subject` rather than what the request holds.
    static std::shared_ptr<AuthenticationDialog> create(std::shared_ptr<HTTPRequest> request, Type type,
                                                        Subject subject);

    std::shared_ptr<HTTPRequest> request() const { return m_request.get(); }
    void setRequest(std::shared_ptr<HTTPRequest> request) { m_request.set(std::move(request)); }
    AuthenticationSheet* loginDialog() const { return m_loginDialog.get(); }
    void setLoginDialog(std::unique_ptr<AuthenticationSheet> sheet) { m_loginDialog = std::move(sheet); }
    Type type() const { return m_type.get(); }
    void setType(Type type) { m_type.set(type); }
    const Subject& subject() const { return m_subject; }

    // Hands the dialog to the presenter (declines at once when there is none).
    void show();
    // Login: `fields` hold the texts of the sections in order (missing ones count as
    // empty). Stores them in the request's server or proxy fields, dismisses the sheet
    // and retries the request.
    void loginWithCredentialsFromDialog(const std::vector<std::string>& fields);
    // Cancel: the request fails with "Authentication needed"; nothing is stored.
    void cancelAuthenticationFromDialog();
    // Whether Login or Cancel answered already; a later answer is ignored.
    bool isAnswered() const { return m_answer.get().has_value(); }
    static constexpr int kCancelButtonIndex = 0;
    static constexpr int kLoginButtonIndex = 1;

    // The form.
    int numberOfSections() const;
    int numberOfRowsInSection(int) const { return 1; }
    double heightForHeaderInSection(int section) const;
    double heightForFooterInSection(int section) const;
    std::optional<std::string> titleForHeaderInSection(int section) const;
    std::optional<std::string> titleForFooterInSection(int section) const;
    Field fieldForSection(int section) const;
    std::string caption() const;
    std::string hostLabel() const;

    static constexpr const char* kServerCaption = "Login to this secure server.";
    static constexpr const char* kProxyCaption = "Login to this secure proxy server.";
    static constexpr const char* kSentInTheClear = "Password will be sent in the clear.";
    static constexpr const char* kSentSecurely = "Password will be sent securely.";

private:
    AuthenticationDialog(std::shared_ptr<HTTPRequest> request, Type type, Subject subject);
    static void present(std::shared_ptr<HTTPRequest> request, Type type);
    // The scheme of the challenge this prompt answers: the proxy's or the server's.
    std::optional<std::string> relevantScheme() const;
    bool asksForDomain() const;
    void dismissSheet(int buttonIndex);
    // Records the first answer; false when the dialog was answered already.
    bool answerWith(int buttonIndex);

    AtomicProperty<std::shared_ptr<HTTPRequest>> m_request;
    std::unique_ptr<AuthenticationSheet> m_loginDialog;
    AtomicProperty<Type> m_type{Type::Server};
    AtomicProperty<std::optional<int>> m_answer; // the button that answered
    Subject m_subject;
};

} // namespace waterline
