// A modal message box: a title, a message and buttons in index order, the cancel button
// (when there is one) at index 0. Alerts are owned by the window's queue, which shows
// them one at a time in the order they were shown; while one is up, touches reach only
// it. A button tap, `dismissWithButtonIndex` or a key (Return: the last button, Escape:
// the cancel button) takes the alert down, and only then is `didDismissWithButtonIndex`
// called, so the next queued alert is already in front when the delegate runs.
//
//     auto alert = std::make_unique<AlertView>("Rate?", "Could you give us ...", "No");
//     alert->addButtonWithTitle("Yes");      // index 1
//     alert->setTag(0);
//     alert->didDismissWithButtonIndex = [this](AlertView& a, int i) { alertViewDidDismiss(a, i); };
//     window.show(std::move(alert));
#pragma once

#include <waterline/ui/View.h>

#include <functional>
#include <string>
#include <vector>

namespace waterline {

class Button;

class AlertView : public View {
public:
    // An empty cancel title gives an alert without a cancel button.
    AlertView(std::string title, std::string message, std::string cancelButtonTitle = {});
    ~AlertView() override;

    const std::string& title() const { return m_title; }
    const std::string& message() const { return m_message; }

    // Returns the new button's index.
    int addButtonWithTitle(std::string);
    int numberOfButtons() const { return static_cast<int>(m_buttonTitles.size()); }
    const std::string& buttonTitleAtIndex(int) const;
    int cancelButtonIndex() const { return m_hasCancel ? 0 : -1; }

    // The delegate: empty means nobody listens. Called after the alert left the screen.
    std::function<void(AlertView&, int buttonIndex)> didDismissWithButtonIndex;

    bool isVisible() const { return m_visible; }
    // Dismisses as if the button at `index` was tapped (a queued alert is just removed).
    void dismissWithButtonIndex(int index);

    // Lays the alert out for a screen of the given size (the window does this).
    void layoutForScreen(SizeF);
    void draw(Canvas&) override;

private:
    friend class Window;
    void setVisible(bool on) { m_visible = on; }
    void buildButtons();

    std::string m_title;
    std::string m_message;
    std::vector<std::string> m_buttonTitles;
    std::vector<Button*> m_buttons;
    bool m_hasCancel = false;
    bool m_visible = false;
    bool m_built = false;
};

} // namespace waterline
