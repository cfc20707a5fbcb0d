#include "PausingPresenter.h"

#include <utility>

namespace waterline::fetch {

namespace {

// Resumes the bars when the prompt is dismissed, or at the latest when the dialog lets
// go of its sheet.
class ResumingSheet : public AuthenticationSheet {
public:
    ResumingSheet(std::unique_ptr<AuthenticationSheet> sheet, std::function<void(bool)> setPaused)
        : m_sheet(std::move(sheet))
        , m_setPaused(std::move(setPaused))
    {
    }
    ~ResumingSheet() override { resume(); }

    void dismissWithButtonIndex(int buttonIndex) override
    {
        if (m_sheet)
            m_sheet->dismissWithButtonIndex(buttonIndex);
        resume();
    }

private:
    void resume()
    {
        if (m_setPaused)
            std::exchange(m_setPaused, nullptr)(false);
    }

    std::unique_ptr<AuthenticationSheet> m_sheet;
    std::function<void(bool)> m_setPaused;
};

} // namespace

PausingPresenter::PausingPresenter(std::shared_ptr<AuthenticationPresenter> presenter,
                                   std::function<void(bool)> setPaused)
    : m_presenter(std::move(presenter))
    , m_setPaused(std::move(setPaused))
{
}

std::unique_ptr<AuthenticationSheet> PausingPresenter::showDialog(std::shared_ptr<AuthenticationDialog> dialog)
{
    m_setPaused(true);
    return std::make_unique<ResumingSheet>(m_presenter->showDialog(std::move(dialog)), m_setPaused);
}

} // namespace waterline::fetch
