// The login dialog as a modal sheet over the application's window, for graphical
// programs: a caption bar ("Login to this secure server."), a bar with Cancel, the host
// being logged in to and Login, and a grouped form of one text field per section of the
// dialog (User; Password, masked; Domain for NTLM) with the realm above and the
// footer's warning below. Return logs in, Escape cancels, Tab moves to the next field;
// the User field has the keyboard focus when the sheet appears.
//
// The sheet answers the dialog (AuthenticationDialog) and the dialog takes the sheet
// down again. It lives in its own library (waterline::ui_authentication) so that ui
// itself does not depend on the HTTP client.
//
//     AuthenticationDialog::setPresenter(std::make_shared<AuthenticationFormPresenter>(app->window()));
#pragma once

#include <waterline/ui/View.h>

#include <memory>
#include <string>
#include <vector>

namespace waterline {

class AuthenticationDialog;
class Button;
class Label;
class TextField;

class AuthenticationFormSheet : public View {
public:
    explicit AuthenticationFormSheet(const std::shared_ptr<AuthenticationDialog>& dialog);
    ~AuthenticationFormSheet() override;

    // The sheet's parts, for its presenter and for tests.
    const std::vector<TextField*>& fields() const { return m_fields; }
    Button& cancelButton() const { return *m_cancel; }
    Button& loginButton() const { return *m_login; }
    // The texts shown: caption, host, each section's header and footer ("" for none).
    std::vector<std::string> shownTexts() const;

    void login();
    void cancel();
    bool keyPressed(const std::string& name) override;

    static constexpr double kWidth = 480;

private:
    void buildBars(const AuthenticationDialog& dialog);
    double buildSection(const AuthenticationDialog& dialog, int section, double top);
    void focusNextField();

    std::weak_ptr<AuthenticationDialog> m_dialog;
    std::vector<TextField*> m_fields;
    std::vector<Label*> m_labels;
    Button* m_cancel = nullptr;
    Button* m_login = nullptr;
};

} // namespace waterline
