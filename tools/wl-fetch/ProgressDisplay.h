// Progress bars for wl-fetch on standard error: one line per URL and one for the
// whole batch, each with a bar, the share done, bytes so far and expected, the rate
// and the time left. The requests and the queue deliver fractions to receivers held
// here (on the main thread); bytes come from the requests' counters. The lines are
// redrawn in place five times a second and once more at the end.
//
//     ProgressDisplay display(std::cerr, queue);
//     display.track(request, "big.iso");     // before the queue goes
//     display.start();                       // on the main run loop
//     ...
//     display.finish();                      // the final picture, cursor below it
#pragma once

#include <waterline/foundation/Timer.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/NetworkQueue.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace waterline::fetch {

class ProgressDisplay {
public:
    using Clock = std::chrono::steady_clock;

    ProgressDisplay(std::ostream& out, std::shared_ptr<NetworkQueue> queue);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void track(const std::shared_ptr<HTTPRequest>& request, std::string label);
    void start();
    void finish();
    // While paused nothing is drawn (a prompt has the terminal); afterwards the bars
    // start afresh below whatever was written meanwhile.
    void setPaused(bool paused);

    // One line of the picture: "label [#####-----]  50%  1.0 KiB / 2.0 KiB  512 B/s  0:02 left".
    struct Figures {
        std::optional<double> fraction; // none: unknown
        std::uint64_t bytes = 0;
        std::optional<std::uint64_t> total; // none: unknown
        double seconds = 0;                 // since the first byte
    };
    static std::string line(const std::string& label, const Figures& figures);
    static std::optional<double> furthest(std::optional<double> reported, const Figures& figures);

private:
    // Keeps the last fraction it was shown.
    class Fraction : public ProgressReceiver {
    public:
        bool implements(Method method) const override { return method == Method::SetProgress; }
        void setProgress(float value) override { last = value; }
        std::optional<double> last;
    };
    struct Tracked {
        std::shared_ptr<HTTPRequest> request;
        std::string label;
        std::shared_ptr<Fraction> fraction = std::make_shared<Fraction>();
        std::optional<Clock::time_point> firstByte;
        std::optional<Clock::time_point> ended;
    };

    Figures figuresOf(Tracked& tracked, Clock::time_point now);
    Figures overallFigures(const std::vector<Figures>& each, Clock::time_point now) const;
    void draw();
    void scheduleNextDraw();

    std::ostream& m_out;
    std::shared_ptr<NetworkQueue> m_queue;
    std::shared_ptr<Fraction> m_overall = std::make_shared<Fraction>();
    std::vector<Tracked> m_tracked;
    Clock::time_point m_started = Clock::now();
    int m_linesDrawn = 0;
    bool m_paused = false;
    std::shared_ptr<Timer> m_nextDraw;
};

} // namespace waterline::fetch
