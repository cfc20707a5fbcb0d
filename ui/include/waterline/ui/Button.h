// A push button: a picture per control state and an optional text title. Touching it
// highlights it; lifting the finger inside it sends TouchUpInside. A state without its
// own picture falls back to the normal one, drawn darker when highlighted and at reduced
// opacity when disabled. Pictures are drawn centred at their natural size (shrunk to fit
// if larger than the button).
//
//     auto& flashbtn = camecontrolview.add<Button>(Button::Custom);
//     flashbtn.setFrame({708, 0, 60, 60});
//     flashbtn.setImage(flashOff, ControlState::Normal);
//     flashbtn.setImage(flashOn, ControlState::Selected);
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/Control.h>

#include <array>
#include <memory>
#include <string>

namespace waterline {

class Button : public Control {
public:
    enum Type { Custom };

    explicit Button(Type = Custom);
    Button(Type, RectF frame);

    void setImage(std::shared_ptr<const PixelBuffer>, ControlState);
    const std::shared_ptr<const PixelBuffer>& image(ControlState) const;

    // A text title drawn centred (used by alerts and the photo picker).
    void setTitle(std::string);
    const std::string& title() const { return m_title; }
    void setTitleColor(Color);
    void setBold(bool);

    void touchBegan(PointF) override;
    void touchMoved(PointF) override;
    void touchEnded(PointF) override;
    void touchCancelled() override;
    void draw(Canvas&) override;

    static constexpr double kDisabledOpacity = 0.35;

private:
    std::array<std::shared_ptr<const PixelBuffer>, 4> m_images;
    std::string m_title;
    Color m_titleColor{0, 122, 255, 255};
    bool m_bold = false;
    std::shared_ptr<const PixelBuffer> m_renderedTitle; // cached until the title changes
};

} // namespace waterline
