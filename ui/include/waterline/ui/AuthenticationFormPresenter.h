// Presents login dialogs as AuthenticationFormSheet over a window: the sheet is shown
// modally with the keyboard focus on its User field, and taken down (then dropped when
// the next dialog replaces the current one) once the dialog has been answered.
//
//     AuthenticationDialog::setPresenter(std::make_shared<AuthenticationFormPresenter>(app->window()));
#pragma once

#include <waterline/http/AuthenticationPresenter.h>

namespace waterline {

class Window;

class AuthenticationFormPresenter : public AuthenticationPresenter {
public:
    // The window must outlive the presenter and the dialogs it shows.
    explicit AuthenticationFormPresenter(Window& window)
        : m_window(window)
    {
    }

    std::unique_ptr<AuthenticationSheet> showDialog(std::shared_ptr<AuthenticationDialog> dialog) override;

private:
    Window& m_window;
};

} // namespace waterline
