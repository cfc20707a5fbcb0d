#include "ProgressDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace waterline::fetch {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr int kBarWidth = 20;
constexpr std::size_t kLabelWidth = 24;
constexpr std::size_t kMaxRequestLines = 8;

std::string format(const char* pattern, double value, const char* unit)
{
    char text[32];
    std::snprintf(text, sizeof text, pattern, value, unit);
    return text;
}

std::string byteText(double bytes)
{
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    return unit == 0 ? format("%.0f %s", bytes, units[0]) : format("%.1f %s", bytes, units[unit]);
}

std::string timeText(double seconds)
{
    auto whole = static_cast<long long>(std::ceil(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string bar(std::optional<double> fraction)
{
    int filled = fraction ? static_cast<int>(std::clamp(*fraction, 0.0, 1.0) * kBarWidth) : 0;
    std::string text = "[";
    for (int i = 0; i < kBarWidth; ++i)
        text += i < filled ? '#' : '-';
    return text + "]";
}

std::string fitted(std::string label)
{
    if (label.size() > kLabelWidth)
        label = "..." + label.substr(label.size() - (kLabelWidth - 3));
    return label + std::string(kLabelWidth - label.size(), ' ');
}

} // namespace

// The receivers' value, or the share of the known total already read when that is
// further: without accurate progress a request's receiver moves in one step at its
// end and the queue's in one step per request, while the byte counts move all along.
std::optional<double> ProgressDisplay::furthest(std::optional<double> reported, const Figures& figures)
{
    if (!figures.total || *figures.total == 0)
        return reported;
    double read = static_cast<double>(figures.bytes) / static_cast<double>(*figures.total);
    return std::max(reported.value_or(0.0), read);
}

ProgressDisplay::ProgressDisplay(std::ostream& out, std::shared_ptr<NetworkQueue> queue)
    : m_out(out)
    , m_queue(std::move(queue))
{
    m_queue->setDownloadProgressDelegate(m_overall);
}

ProgressDisplay::~ProgressDisplay()
{
    if (m_nextDraw)
        m_nextDraw->invalidate();
}

void ProgressDisplay::track(const std::shared_ptr<HTTPRequest>& request, std::string label)
{
    Tracked tracked;
    tracked.request = request;
    tracked.label = std::move(label);
    request->setDownloadProgressDelegate(tracked.fraction);
    m_tracked.push_back(std::move(tracked));
}

void ProgressDisplay::start()
{
    m_started = Clock::now();
    draw();
    scheduleNextDraw();
}

void ProgressDisplay::finish()
{
    if (m_nextDraw)
        m_nextDraw->invalidate();
    draw();
}

void ProgressDisplay::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused) {
        m_linesDrawn = 0;
        draw();
    }
}

void ProgressDisplay::scheduleNextDraw()
{
    m_nextDraw = Timer::singleShot(
        kRedrawInterval,
        [this] {
            draw();
            scheduleNextDraw();
        },
        RunLoop::main());
}

std::string ProgressDisplay::line(const std::string& label, const Figures& figures)
{
    std::string text = fitted(label) + " " + bar(figures.fraction);
    text += figures.fraction ? format(" %3.0f%s", std::floor(*figures.fraction * 100), "%") : std::string("    ?");
    text += "  " + byteText(static_cast<double>(figures.bytes));
    text += " / " + (figures.total ? byteText(static_cast<double>(*figures.total)) : std::string("?"));
    double rate = figures.seconds > 0 ? static_cast<double>(figures.bytes) / figures.seconds : 0;
    text += "  " + (rate > 0 ? byteText(rate) : std::string("--")) + "/s"; // too quick to tell
    bool done = figures.fraction && *figures.fraction >= 1.0;
    if (done)
        text += "  done";
    else if (figures.total && rate > 0 && *figures.total >= figures.bytes)
        text += "  " + timeText(static_cast<double>(*figures.total - figures.bytes) / rate) + " left";
    else
        text += "  --:-- left";
    return text;
}

ProgressDisplay::Figures ProgressDisplay::figuresOf(Tracked& tracked, Clock::time_point now)
{
    const HTTPRequest& request = *tracked.request;
    Figures figures;
    figures.bytes = request.totalBytesRead() + request.partialDownloadSize();
    if (auto length = request.contentLength(); length > 0)
        figures.total = length + request.partialDownloadSize();
    if (figures.bytes > 0 && !tracked.firstByte)
        tracked.firstByte = now;
    if (request.complete() && !tracked.ended)
        tracked.ended = now; // the rate stays what it was at the end
    if (tracked.firstByte)
        figures.seconds = std::chrono::duration<double>(tracked.ended.value_or(now) - *tracked.firstByte).count();
    figures.fraction = furthest(tracked.fraction->last, figures);
    if (request.complete() && !request.error())
        figures.fraction = 1.0;
    return figures;
}

ProgressDisplay::Figures ProgressDisplay::overallFigures(const std::vector<Figures>& each, Clock::time_point now) const
{
    Figures overall;
    overall.total = 0;
    for (const auto& figures : each) {
        overall.bytes += figures.bytes;
        if (figures.total && overall.total)
            *overall.total += *figures.total;
        else
            overall.total.reset();
    }
    overall.seconds = std::chrono::duration<double>(now - m_started).count();
    overall.fraction = furthest(m_overall->last, overall);
    bool allSucceeded = std::all_of(m_tracked.begin(), m_tracked.end(), [](const Tracked& tracked) {
        return tracked.request->complete() && !tracked.request->error();
    });
    if (allSucceeded && !m_tracked.empty())
        overall.fraction = std::max(overall.fraction.value_or(0.0), 1.0);
    return overall;
}

// A block of a fixed height, redrawn in place: with many URLs only the first that
// have not ended get a line of their own (all of them count in the total).
void ProgressDisplay::draw()
{
    if (m_paused)
        return;
    auto now = Clock::now();
    std::vector<Figures> each;
    std::vector<std::string> lines;
    int ended = 0;
    for (auto& tracked : m_tracked) {
        each.push_back(figuresOf(tracked, now));
        bool hasEnded = tracked.request->complete();
        ended += hasEnded ? 1 : 0;
        if (m_tracked.size() <= kMaxRequestLines || (!hasEnded && lines.size() < kMaxRequestLines))
            lines.push_back(line(tracked.label, each.back()));
    }
    lines.resize(std::min(m_tracked.size(), kMaxRequestLines)); // blank lines keep the height
    std::string summary = "total " + std::to_string(ended) + "/" + std::to_string(m_tracked.size());
    lines.push_back(line(summary, overallFigures(each, now)));

    std::string picture;
    if (m_linesDrawn > 0)
        picture += "\x1b[" + std::to_string(m_linesDrawn) + "A";
    for (const auto& text : lines)
        picture += "\r\x1b[K" + text + "\n";
    m_linesDrawn = static_cast<int>(lines.size());
    m_out << picture << std::flush;
}

} // namespace waterline::fetch
