// The only file that talks to SDL's video and event system. The window shows the
// 768 × 1024 canvas through one streaming texture, scaled uniformly into the window
// (letterboxed), and turns mouse, wheel, key and close events into InputEvents in screen
// points through the same letterbox mapping. Only the redrawn rows are uploaded.
#include "WindowBackend.h"

#include <waterline/ui/Letterbox.h>
#include <waterline/ui/UIError.h>
#include <waterline/ui/Window.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>

namespace waterline {
namespace {

class SdlWindowBackend final : public WindowBackend {
public:
    ~SdlWindowBackend() override
    {
        if (m_texture)
            SDL_DestroyTexture(m_texture);
        if (m_renderer)
            SDL_DestroyRenderer(m_renderer);
        if (m_window)
            SDL_DestroyWindow(m_window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    }

    ErrorOr<void> open(const std::string& title)
    {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
            return failure("no display available");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
        SizeF screen = Window::kScreenSize;
        // Start at the largest whole-screen size that fits the display's usable area.
        double scale = 1.0;
        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0)
            scale = std::min({1.0, (usable.w - 40) / screen.width, (usable.h - 60) / screen.height});
        scale = std::max(scale, 0.25);
        m_window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    static_cast<int>(screen.width * scale), static_cast<int>(screen.height * scale),
                                    SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
        if (!m_window)
            return failure("could not open a window");
        SDL_SetWindowMinimumSize(m_window, 192, 256);
        // No vsync: the frame chain sets the pace, and a blocking present would stall
        // the run loop's timers.
        m_renderer = SDL_CreateRenderer(m_window, -1, 0);
        if (!m_renderer)
            return failure("could not create a renderer");
        m_texture = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      static_cast<int>(screen.width), static_cast<int>(screen.height));
        if (!m_texture)
            return failure("could not create the screen texture");
        return {};
    }

    void pollEvents(std::vector<InputEvent>& out) override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            switch (e.type) {
            case SDL_QUIT:
                out.push_back(InputEvent::quit());
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    m_needsRepaint = true;
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT) {
                    m_buttonDown = true;
                    out.push_back(InputEvent::pointerDown(toScreen(e.button.x, e.button.y)));
                }
                break;
            case SDL_MOUSEMOTION:
                if (m_buttonDown)
                    out.push_back(InputEvent::pointerMove(toScreen(e.motion.x, e.motion.y)));
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT && m_buttonDown) {
                    m_buttonDown = false;
                    out.push_back(InputEvent::pointerUp(toScreen(e.button.x, e.button.y)));
                }
                break;
            case SDL_MOUSEWHEEL: {
                int x = 0, y = 0;
                SDL_GetMouseState(&x, &y);
                double flip = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
                out.push_back(InputEvent::wheel(toScreen(x, y), flip * e.wheel.preciseX, flip * e.wheel.preciseY));
                break;
            }
            case SDL_KEYDOWN:
                if (!e.key.repeat)
                    out.push_back(InputEvent::keyPress(SDL_GetKeyName(e.key.keysym.sym)));
                break;
            case SDL_TEXTINPUT:
                out.push_back(InputEvent::textInput(e.text.text));
                break;
            default:
                break;
            }
        }
    }

    void present(const PixelBuffer& screen, const std::vector<PixelRect>& changed) override
    {
        if (!changed.empty()) {
            // One upload of the box around the changes: fewer driver calls than one per rectangle.
            PixelRect box = changed.front();
            for (const PixelRect& r : changed) {
                int x1 = std::max(box.x + box.width, r.x + r.width), y1 = std::max(box.y + box.height, r.y + r.height);
                box.x = std::min(box.x, r.x), box.y = std::min(box.y, r.y);
                box.width = x1 - box.x, box.height = y1 - box.y;
            }
            SDL_Rect rect{box.x, box.y, box.width, box.height};
            SDL_UpdateTexture(m_texture, &rect, screen.row(box.y) + static_cast<std::size_t>(box.x) * 4,
                              static_cast<int>(screen.stride()));
        }
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(m_renderer, &w, &h);
        RectF dest = Letterbox(Window::kScreenSize, {static_cast<double>(w), static_cast<double>(h)}).screenRect();
        SDL_Rect target{static_cast<int>(std::lround(dest.x)), static_cast<int>(std::lround(dest.y)),
                        static_cast<int>(std::lround(dest.width)), static_cast<int>(std::lround(dest.height))};
        SDL_SetRenderDrawColor(m_renderer, 0, 0, 0, 255);
        SDL_RenderClear(m_renderer);
        SDL_RenderCopy(m_renderer, m_texture, nullptr, &target);
        SDL_RenderPresent(m_renderer);
        m_needsRepaint = false;
    }

    bool needsRepaint() const override { return m_needsRepaint; }

    // SDL's input is not an fd the run loop can wait on: look at it regularly.
    double maximumWait() const override { return kInputPollInterval; }

    void idleWait(double seconds) override
    {
        SDL_WaitEventTimeout(nullptr, static_cast<int>(std::ceil(seconds * 1000)));
    }

private:
    ErrorPtr failure(const std::string& what)
    {
        return Error::create(kUIErrorDomain, static_cast<int>(UIErrorCode::DisplayUnavailable),
                             what + ": " + SDL_GetError() + " (use --offscreen to run without a display)");
    }

    // Mouse coordinates are in window units, which may differ from drawable pixels.
    PointF toScreen(int x, int y) const
    {
        int w = 0, h = 0;
        SDL_GetWindowSize(m_window, &w, &h);
        return Letterbox(Window::kScreenSize, {static_cast<double>(w), static_cast<double>(h)})
            .toScreen({static_cast<double>(x), static_cast<double>(y)});
    }

    SDL_Window* m_window = nullptr;
    SDL_Renderer* m_renderer = nullptr;
    SDL_Texture* m_texture = nullptr;
    bool m_buttonDown = false;
    bool m_needsRepaint = true;
};

} // namespace

ErrorOr<std::unique_ptr<WindowBackend>> makeSdlBackend(const std::string& title)
{
    auto backend = std::make_unique<SdlWindowBackend>();
    WL_TRY(backend->open(title));
    return std::unique_ptr<WindowBackend>(std::move(backend));
}

} // namespace waterline
