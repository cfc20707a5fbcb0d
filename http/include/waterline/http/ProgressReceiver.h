// Anything that shows a fraction of work done, such as a progress bar. A receiver
// takes the value as a float through setProgress or, when it has no such operation,
// as a double through setDoubleValue; implements() says which it has. Values are
// always delivered on the main thread (see HTTPRequest::setProgress).
//
//     class Bar : public ProgressReceiver {
//         bool implements(Method method) const override { return method == Method::SetProgress; }
//         void setProgress(float fraction) override { draw(fraction); }
//     };
#pragma once

namespace waterline {

class ProgressReceiver {
public:
    enum class Method { SetProgress, SetDoubleValue };

    virtual ~ProgressReceiver() = default;
    virtual bool implements(Method) const = 0;
    virtual void setProgress(float) {}
    virtual void setDoubleValue(double) {}
};

} // namespace waterline
