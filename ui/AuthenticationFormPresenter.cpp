#include <waterline/ui/AuthenticationFormPresenter.h>

#include <waterline/ui/AuthenticationFormSheet.h>
#include <waterline/ui/TextField.h>
#include <waterline/ui/Window.h>

namespace waterline {

namespace {

// The dialog's handle on the sheet on screen.
class FormSheetHandle : public AuthenticationSheet {
public:
    FormSheetHandle(Window& window, std::unique_ptr<AuthenticationFormSheet> sheet)
        : m_window(window)
        , m_sheet(std::move(sheet))
    {
    }
    ~FormSheetHandle() override
    {
        m_window.dismissSheet(*m_sheet);
        // The sheet may be answering a touch of its own right now.
        Window::retire(&m_window, std::move(m_sheet));
    }
    void dismissWithButtonIndex(int) override { m_window.dismissSheet(*m_sheet); }

private:
    Window& m_window;
    std::unique_ptr<AuthenticationFormSheet> m_sheet;
};

} // namespace

std::unique_ptr<AuthenticationSheet>
AuthenticationFormPresenter::showDialog(std::shared_ptr<AuthenticationDialog> dialog)
{
    auto sheet = std::make_unique<AuthenticationFormSheet>(dialog);
    m_window.presentSheet(*sheet);
    sheet->fields().front()->becomeFirstResponder();
    return std::make_unique<FormSheetHandle>(m_window, std::move(sheet));
}

} // namespace waterline
