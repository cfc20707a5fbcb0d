// Sizes are the dialog's own (a header of 30 points above section 0, a footer of 30
// below the last section, a text field of 25 points in each row), laid out on a panel
// wider than a phone's screen, as our screen is 768 points wide.
#include <waterline/ui/AuthenticationFormSheet.h>

#include "Label.h"

#include <waterline/http/AuthenticationDialog.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/TextField.h>
#include <waterline/ui/Window.h>

#include <algorithm>

namespace waterline {

namespace {

constexpr double kCaptionBarHeight = 30;
constexpr double kButtonBarHeight = 50;
constexpr double kRowHeight = 45;
constexpr double kCellInset = 20;
constexpr double kFieldHeight = 25;
constexpr double kBottomPadding = 20;
constexpr Color kFormColor{239, 239, 244, 255};
constexpr Color kCaptionBarColor{247, 247, 247, 255};
constexpr Color kButtonBarColor{109, 132, 162, 255};
constexpr Color kSectionTextColor{76, 86, 108, 255};

} // namespace

AuthenticationFormSheet::AuthenticationFormSheet(const std::shared_ptr<AuthenticationDialog>& dialog)
    : m_dialog(dialog)
{
    setBackgroundColor(kFormColor);
    buildBars(*dialog);
    double top = kCaptionBarHeight + kButtonBarHeight + 10;
    for (int section = 0; section < dialog->numberOfSections(); ++section)
        top = buildSection(*dialog, section, top);
    double height = top + kBottomPadding;
    setFrame({(Window::kScreenSize.width - kWidth) / 2, 160, kWidth, height});
}

AuthenticationFormSheet::~AuthenticationFormSheet() = default;

void AuthenticationFormSheet::buildBars(const AuthenticationDialog& dialog)
{
    auto& captionBar = add<View>(RectF{0, 0, kWidth, kCaptionBarHeight});
    captionBar.setBackgroundColor(kCaptionBarColor);
    auto& caption = captionBar.add<Label>(dialog.caption(), 13);
    caption.setFrame({10, 0, kWidth - 20, kCaptionBarHeight});
    m_labels.push_back(&caption);

    auto& buttonBar = add<View>(RectF{0, kCaptionBarHeight, kWidth, kButtonBarHeight});
    buttonBar.setBackgroundColor(kButtonBarColor);
    m_cancel = &buttonBar.add<Button>(Button::Custom, RectF{8, 8, 90, 34});
    m_cancel->setTitle("Cancel");
    m_cancel->setTitleColor(Color::white());
    m_cancel->addTarget([this] { cancel(); }, ControlEvent::TouchUpInside);
    auto& host = buttonBar.add<Label>(dialog.hostLabel(), 18, true, Color::white());
    host.setFrame({100, 0, kWidth - 200, kButtonBarHeight});
    m_labels.push_back(&host);
    m_login = &buttonBar.add<Button>(Button::Custom, RectF{kWidth - 98, 8, 90, 34});
    m_login->setTitle("Login");
    m_login->setBold(true);
    m_login->setTitleColor(Color::white());
    m_login->addTarget([this] { login(); }, ControlEvent::TouchUpInside);
}

double AuthenticationFormSheet::buildSection(const AuthenticationDialog& dialog, int section, double top)
{
    double header = dialog.heightForHeaderInSection(section);
    auto& headerLabel = add<Label>(dialog.titleForHeaderInSection(section).value_or(""), 15, true, kSectionTextColor);
    headerLabel.setFrame({kCellInset, top, kWidth - 2 * kCellInset, header});
    m_labels.push_back(&headerLabel);
    top += header;

    auto& cell = add<View>(RectF{kCellInset, top, kWidth - 2 * kCellInset, kRowHeight});
    cell.setBackgroundColor(Color::white());
    auto fieldOptions = dialog.fieldForSection(section);
    auto& field = cell.add<TextField>(
        RectF{kCellInset, (kRowHeight - kFieldHeight) / 2, kWidth - 4 * kCellInset, kFieldHeight});
    field.setPlaceholder(fieldOptions.placeholder);
    field.setSecureTextEntry(fieldOptions.secureTextEntry);
    field.setAutocapitalizationType(fieldOptions.autocapitalization ? TextAutocapitalization::Sentences
                                                                    : TextAutocapitalization::None);
    m_fields.push_back(&field);
    top += kRowHeight;

    double footer = dialog.heightForFooterInSection(section);
    auto& footerLabel = add<Label>(dialog.titleForFooterInSection(section).value_or(""), 13, false, kSectionTextColor);
    footerLabel.setFrame({kCellInset, top, kWidth - 2 * kCellInset, footer});
    m_labels.push_back(&footerLabel);
    return top + footer + (footer == 0 ? 10 : 0);
}

std::vector<std::string> AuthenticationFormSheet::shownTexts() const
{
    std::vector<std::string> texts;
    for (const Label* label : m_labels)
        texts.push_back(label->text());
    return texts;
}

void AuthenticationFormSheet::login()
{
    std::vector<std::string> texts;
    for (const TextField* field : m_fields)
        texts.push_back(field->text());
    if (auto dialog = m_dialog.lock())
        dialog->loginWithCredentialsFromDialog(texts);
}

void AuthenticationFormSheet::cancel()
{
    if (auto dialog = m_dialog.lock())
        dialog->cancelAuthenticationFromDialog();
}

bool AuthenticationFormSheet::keyPressed(const std::string& name)
{
    if (name == "Return" || name == "Keypad Enter")
        login();
    else if (name == "Escape")
        cancel();
    else if (name == "Tab")
        focusNextField();
    return true; // a modal form keeps every key to itself
}

void AuthenticationFormSheet::focusNextField()
{
    auto focused = std::find_if(m_fields.begin(), m_fields.end(), [](TextField* f) { return f->isFirstResponder(); });
    std::size_t next = focused == m_fields.end() ? 0 : (focused - m_fields.begin() + 1) % m_fields.size();
    m_fields[next]->becomeFirstResponder();
}

} // namespace waterline
