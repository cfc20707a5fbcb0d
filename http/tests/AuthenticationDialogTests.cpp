// The login dialog's model: the form it describes for each kind of challenge, what Login
// and Cancel write into the request, and how presenting replaces the current dialog.
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/URL.h>

#include <gtest/gtest.h>

using namespace waterline;
using Type = AuthenticationDialog::Type;
using Subject = AuthenticationDialog::Subject;

namespace {

std::shared_ptr<HTTPRequest> makeRequest(const char* url = "http://example.org/a")
{
    return HTTPRequest::requestWithURL(URL::parse(url));
}

struct FormCase {
    const char* name;
    Type type;
    Subject subject;
    int sections;
    const char* caption;
    const char* host;
    std::optional<std::string> header;
    const char* footer;
};

const FormCase kForms[] = {
    {"Basic over https",
     Type::Server,
     {"Basic", {}, "Vault", "https", "secure.example", {}},
     2,
     "Login to this secure server.",
     "secure.example",
     "Vault",
     "Password will be sent securely."},
    {"Basic over http",
     Type::Server,
     {"Basic", {}, "Vault", "http", "plain.example", {}},
     2,
     "Login to this secure server.",
     "plain.example",
     "Vault",
     "Password will be sent in the clear."},
    {"Digest over http",
     Type::Server,
     {"Digest", {}, "Vault", "http", "plain.example", {}},
     2,
     "Login to this secure server.",
     "plain.example",
     "Vault",
     "Password will be sent securely."},
    {"NTLM server",
     Type::Server,
     {"NTLM", {}, {}, "http", "intranet", {}},
     3,
     "Login to this secure server.",
     "intranet",
     std::nullopt,
     "Password will be sent securely."},
    // The proxy prompt shows the proxy host, but the header is the server's realm (none
    // here) and the footer judges the server exchange (Basic over http).
    {"NTLM proxy",
     Type::Proxy,
     {"Basic", "NTLM", {}, "http", "plain.example", "gate.example"},
     3,
     "Login to this secure proxy server.",
     "gate.example",
     std::nullopt,
     "Password will be sent in the clear."},
    {"Basic proxy, NTLM server",
     Type::Proxy,
     {"NTLM", "Basic", "Inner", "https", "x", "gate.example"},
     2,
     "Login to this secure proxy server.",
     "gate.example",
     "Inner",
     "Password will be sent securely."},
};

TEST(AuthenticationDialog, DescribesTheFormForEachKindOfChallenge)
{
    for (const auto& form : kForms) {
        SCOPED_TRACE(form.name);
        auto dialog = AuthenticationDialog::create(makeRequest(), form.type, form.subject);
        EXPECT_EQ(dialog->numberOfSections(), form.sections);
        EXPECT_EQ(dialog->caption(), form.caption);
        EXPECT_EQ(dialog->hostLabel(), form.host);
        int last = form.sections - 1;
        for (int section = 0; section < form.sections; ++section) {
            EXPECT_EQ(dialog->numberOfRowsInSection(section), 1);
            EXPECT_EQ(dialog->heightForHeaderInSection(section), section == 0 ? 30 : 0);
            EXPECT_EQ(dialog->heightForFooterInSection(section), section == last ? 30 : 0);
            EXPECT_EQ(dialog->titleForHeaderInSection(section), section == 0 ? form.header : std::nullopt);
            EXPECT_EQ(dialog->titleForFooterInSection(section),
                      section == last ? std::optional<std::string>(form.footer) : std::nullopt);
        }
        const char* placeholders[] = {"User", "Password", "Domain"};
        for (int section = 0; section < form.sections; ++section) {
            auto field = dialog->fieldForSection(section);
            EXPECT_EQ(field.placeholder, placeholders[section]);
            EXPECT_EQ(field.secureTextEntry, section == 1);
            EXPECT_FALSE(field.autocapitalization);
        }
    }
}

TEST(AuthenticationDialog, ReadsTheRequestWhenMade)
{
    auto request = makeRequest("https://files.example.org:8443/a");
    request->setProxyHost("gate.example");
    auto server = AuthenticationDialog::create(request, Type::Server);
    EXPECT_EQ(server->hostLabel(), "files.example.org");
    EXPECT_EQ(server->subject().urlScheme, "https");
    EXPECT_EQ(server->request(), request);
    EXPECT_EQ(AuthenticationDialog::create(request, Type::Proxy)->hostLabel(), "gate.example");
}

// A sheet that remembers how it was taken down.
struct RecordingSheet : AuthenticationSheet {
    std::shared_ptr<std::vector<int>> dismissals = std::make_shared<std::vector<int>>();
    void dismissWithButtonIndex(int index) override { dismissals->push_back(index); }
};

struct RecordingPresenter : AuthenticationPresenter {
    std::vector<std::shared_ptr<AuthenticationDialog>> shown;
    std::vector<std::shared_ptr<std::vector<int>>> dismissals;
    std::unique_ptr<AuthenticationSheet> showDialog(std::shared_ptr<AuthenticationDialog> dialog) override
    {
        shown.push_back(dialog);
        auto sheet = std::make_unique<RecordingSheet>();
        dismissals.push_back(sheet->dismissals);
        return sheet;
    }
};

TEST(AuthenticationDialog, LoginStoresTheFieldsOfItsKindAndDismissesWithButtonOne)
{
    auto presenter = std::make_shared<RecordingPresenter>();
    AuthenticationDialog::setPresenter(presenter);

    auto server = makeRequest();
    auto dialog = AuthenticationDialog::create(server, Type::Server, {"NTLM", {}, {}, "http", "intranet", {}});
    dialog->show();
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown[0], dialog);
    dialog->loginWithCredentialsFromDialog({"alice", "secret", "OFFICE"});
    EXPECT_EQ(server->username(), "alice");
    EXPECT_EQ(server->password(), "secret");
    EXPECT_EQ(server->domain(), "OFFICE");
    EXPECT_EQ(server->proxyUsername(), std::nullopt);
    EXPECT_EQ(*presenter->dismissals[0], std::vector<int>{1});
    EXPECT_EQ(server->error(), nullptr);
    EXPECT_TRUE(dialog->isAnswered());

    auto proxied = makeRequest();
    auto proxyDialog = AuthenticationDialog::create(proxied, Type::Proxy, {{}, "NTLM", {}, "http", "x", "gate"});
    proxyDialog->show();
    proxyDialog->loginWithCredentialsFromDialog({"bob", "pw", "LAB"});
    EXPECT_EQ(proxied->proxyUsername(), "bob");
    EXPECT_EQ(proxied->proxyPassword(), "pw");
    EXPECT_EQ(proxied->proxyDomain(), "LAB");
    EXPECT_EQ(proxied->username(), std::nullopt);
    EXPECT_EQ(proxied->domain(), std::nullopt);

    // Empty fields are stored as empty texts; a Basic prompt leaves the domain alone.
    auto empty = makeRequest();
    auto basic = AuthenticationDialog::create(empty, Type::Server, {"Basic", {}, "R", "http", "x", {}});
    basic->loginWithCredentialsFromDialog({"", ""});
    EXPECT_EQ(empty->username(), "");
    EXPECT_EQ(empty->password(), "");
    EXPECT_EQ(empty->domain(), std::nullopt);
    AuthenticationDialog::setPresenter(nullptr);
}

TEST(AuthenticationDialog, CancelFailsTheRequestStoresNothingAndIgnoresALaterLogin)
{
    auto presenter = std::make_shared<RecordingPresenter>();
    AuthenticationDialog::setPresenter(presenter);
    auto request = makeRequest();
    auto dialog = AuthenticationDialog::create(request, Type::Server, {"Basic", {}, "R", "http", "x", {}});
    dialog->show();
    dialog->cancelAuthenticationFromDialog();
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->localizedDescription(), "Authentication needed");
    EXPECT_EQ(*presenter->dismissals[0], std::vector<int>{0});

    dialog->loginWithCredentialsFromDialog({"late", "answer"});
    dialog->cancelAuthenticationFromDialog();
    EXPECT_EQ(request->username(), std::nullopt);
    EXPECT_EQ(request->password(), std::nullopt);
    EXPECT_EQ(*presenter->dismissals[0], std::vector<int>{0}) << "one answer, one dismissal";
    AuthenticationDialog::setPresenter(nullptr);
}

TEST(AuthenticationDialog, PresentingReplacesTheCurrentDialogAndReleasesAnUnansweredOne)
{
    AuthenticationDialog::setPresenter(nullptr);
    auto declined = makeRequest();
    AuthenticationDialog::presentAuthenticationDialogForRequest(declined);
    ASSERT_NE(declined->error(), nullptr) << "without a presenter a prompt is declined";
    EXPECT_EQ(declined->error()->localizedDescription(), "Authentication needed");

    auto presenter = std::make_shared<RecordingPresenter>();
    AuthenticationDialog::setPresenter(presenter);
    auto first = makeRequest();
    AuthenticationDialog::presentProxyAuthenticationDialogForRequest(first);
    auto shownFirst = AuthenticationDialog::currentDialog();
    ASSERT_TRUE(shownFirst);
    EXPECT_EQ(shownFirst->type(), Type::Proxy);
    EXPECT_EQ(shownFirst->request(), first);
    EXPECT_EQ(first->error(), nullptr);

    auto second = makeRequest();
    AuthenticationDialog::presentAuthenticationDialogForRequest(second);
    EXPECT_EQ(AuthenticationDialog::currentDialog()->request(), second);
    EXPECT_EQ(AuthenticationDialog::currentDialog()->type(), Type::Server);
    ASSERT_NE(first->error(), nullptr) << "the replaced prompt would otherwise hold its request for ever";
    EXPECT_EQ(*presenter->dismissals[0], std::vector<int>{0});
    EXPECT_EQ(second->error(), nullptr);

    // An answered dialog stays current (with its request) until the next prompt.
    AuthenticationDialog::currentDialog()->loginWithCredentialsFromDialog({"a", "b"});
    EXPECT_EQ(AuthenticationDialog::currentDialog()->request(), second);
    AuthenticationDialog::setPresenter(nullptr);
}

} // namespace
