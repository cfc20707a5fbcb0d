// A presenter that stops the progress bars while a login prompt is on the terminal, so
// that their redrawing does not write over the questions, and lets them go on below
// the prompt once it is answered.
#pragma once

#include <waterline/http/AuthenticationPresenter.h>

#include <functional>
#include <memory>

namespace waterline::fetch {

class PausingPresenter : public AuthenticationPresenter {
public:
    // `setPaused(true)` when a prompt appears, `setPaused(false)` when it is gone.
    PausingPresenter(std::shared_ptr<AuthenticationPresenter> presenter, std::function<void(bool)> setPaused);

    std::unique_ptr<AuthenticationSheet> showDialog(std::shared_ptr<AuthenticationDialog> dialog) override;

private:
    std::shared_ptr<AuthenticationPresenter> m_presenter;
    std::function<void(bool)> m_setPaused;
};

} // namespace waterline::fetch
