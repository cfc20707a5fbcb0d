// How the login dialog reaches the screen. The dialog (AuthenticationDialog) is a model:
// it knows the texts, the fields and what Login and Cancel do. A presenter shows that
// model in some form (a terminal prompt, a sheet over the window) and answers it through
// the dialog, exactly once, on the main thread:
//
//     dialog->loginWithCredentialsFromDialog({user, password});   // or {user, password, domain}
//     dialog->cancelAuthenticationFromDialog();
//
// The program picks its presenter once (AuthenticationDialog::setPresenter); with none,
// every prompt is declined.
#pragma once

#include <memory>

namespace waterline {

class AuthenticationDialog;

// What a presenter put on screen for one dialog. The dialog owns it, dismisses it once
// answered and keeps it until the next prompt replaces the dialog.
class AuthenticationSheet {
public:
    virtual ~AuthenticationSheet() = default;
    // Takes the form down; `buttonIndex` is 1 after Login, 0 after Cancel. Main thread.
    virtual void dismissWithButtonIndex(int buttonIndex) = 0;
};

class AuthenticationPresenter {
public:
    virtual ~AuthenticationPresenter() = default;
    // Main thread. Shows the dialog's form and returns at once; the answer comes later
    // (or already came, for a presenter that decides on the spot).
    virtual std::unique_ptr<AuthenticationSheet> showDialog(std::shared_ptr<AuthenticationDialog> dialog) = 0;
};

} // namespace waterline
