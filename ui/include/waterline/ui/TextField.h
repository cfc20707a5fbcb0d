// A one-line text entry: a white box showing its text, or its placeholder in grey while
// empty. A tap gives it the window's keyboard focus (a caret shows); typed text is
// appended and Backspace removes the last character. With secure entry on, every
// character is shown as a bullet. Return, Escape and Tab are left to its ancestors (a
// form decides what they do).
//
//     auto& user = form.add<TextField>(RectF{20, 12, 260, 25});
//     user.setPlaceholder("User");
//     user.becomeFirstResponder();
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/Control.h>

#include <functional>
#include <memory>
#include <string>

namespace waterline {

enum class TextAutocapitalization { None, Sentences };

class TextField : public Control {
public:
    TextField();
    explicit TextField(RectF frame);

    const std::string& text() const { return m_text; }
    void setText(std::string);
    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string);
    bool isSecureTextEntry() const { return m_secure; }
    void setSecureTextEntry(bool);
    // Kept for keyboards that capitalise as they type; typed text arrives as typed.
    TextAutocapitalization autocapitalizationType() const { return m_autocapitalization; }
    void setAutocapitalizationType(TextAutocapitalization type) { m_autocapitalization = type; }

    // Takes the keyboard focus of the window it is shown in (false when in none).
    bool becomeFirstResponder();
    bool isFirstResponder() const { return m_focused; }

    // Called after each change of the text; may be empty.
    std::function<void(TextField&)> textChanged;

    // What the field shows: the text, or bullets for secure entry.
    std::string displayedText() const;

    void touchEnded(PointF) override;
    bool keyPressed(const std::string& name) override;
    bool textInput(const std::string& text) override;
    void focusChanged(bool focused) override;
    void draw(Canvas&) override;

    static constexpr int kTextPixelSize = 17;

private:
    void changed();

    std::string m_text;
    std::string m_placeholder;
    bool m_secure = false;
    bool m_focused = false;
    TextAutocapitalization m_autocapitalization = TextAutocapitalization::None;
    std::shared_ptr<const PixelBuffer> m_rendered; // cached until text or focus changes
};

} // namespace waterline
