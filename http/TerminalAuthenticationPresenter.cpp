#include <waterline/http/TerminalAuthenticationPresenter.h>

#include "TerminalPrompt.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/http/AuthenticationDialog.h>

#include <fcntl.h>

namespace waterline {

namespace {

// The prompt on the terminal is the dialog's sheet: dismissing it ends the prompt.
class TerminalSheet : public AuthenticationSheet {
public:
    explicit TerminalSheet(std::unique_ptr<TerminalPrompt> prompt)
        : m_prompt(std::move(prompt))
    {
    }
    void dismissWithButtonIndex(int) override { m_prompt->abort(); }

private:
    std::unique_ptr<TerminalPrompt> m_prompt;
};

TerminalPromptText promptText(const AuthenticationDialog& dialog)
{
    TerminalPromptText text;
    text.lines.push_back(dialog.caption());
    text.lines.push_back("Host: " + dialog.hostLabel());
    if (auto realm = dialog.titleForHeaderInSection(0))
        text.lines.push_back("Realm: " + *realm);
    int sections = dialog.numberOfSections();
    if (auto footer = dialog.titleForFooterInSection(sections - 1))
        text.lines.push_back(*footer);
    for (int section = 0; section < sections; ++section) {
        auto field = dialog.fieldForSection(section);
        text.questions.push_back({field.placeholder, field.secureTextEntry});
    }
    return text;
}

} // namespace

TerminalAuthenticationPresenter::TerminalAuthenticationPresenter(std::filesystem::path terminal)
    : m_terminal(std::move(terminal))
{
}

std::unique_ptr<AuthenticationSheet>
TerminalAuthenticationPresenter::showDialog(std::shared_ptr<AuthenticationDialog> dialog)
{
    auto terminal = FileDescriptor::open(m_terminal, O_RDWR | O_NOCTTY);
    if (!terminal) {
        dialog->cancelAuthenticationFromDialog();
        return nullptr;
    }
    std::weak_ptr<AuthenticationDialog> weakDialog = dialog;
    auto answered = [weakDialog](std::optional<std::vector<std::string>> answers) {
        performOnMainThread(
            [weakDialog, answers = std::move(answers)] {
                auto dialog = weakDialog.lock();
                if (!dialog)
                    return;
                if (answers)
                    dialog->loginWithCredentialsFromDialog(*answers);
                else
                    dialog->cancelAuthenticationFromDialog();
            },
            false);
    };
    auto prompt = std::make_unique<TerminalPrompt>(terminal.releaseValue(), promptText(*dialog), std::move(answered));
    prompt->start();
    return std::make_unique<TerminalSheet>(std::move(prompt));
}

} // namespace waterline
