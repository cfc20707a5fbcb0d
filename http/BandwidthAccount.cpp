#include <waterline/http/BandwidthAccount.h>

#include <algorithm>
#include <limits>
#include <numeric>

namespace waterline {

namespace {

constexpr auto kWindow = std::chrono::seconds(1);
// The usable amount a waiting transfer waits for: a hundredth of a second's worth,
// so that reads are neither tiny nor bursty.
constexpr std::uint32_t kPaceSteps = 100;
constexpr std::uint64_t kSmallestUsefulAllowance = 8;

// The share of `limit` paced out after `elapsed` of a window.
std::uint64_t pacedAmount(std::uint32_t limit, BandwidthAccount::Clock::duration elapsed)
{
    auto nanoseconds = std::clamp<std::int64_t>(std::chrono::nanoseconds(elapsed).count(), 0,
                                                std::chrono::nanoseconds(kWindow).count());
    return static_cast<std::uint64_t>(static_cast<double>(limit) * static_cast<double>(nanoseconds) / 1e9);
}

} // namespace

BandwidthAccount& BandwidthAccount::shared()
{
    // Never destroyed: request threads may still account while the process exits.
    static auto* account = new BandwidthAccount;
    return *account;
}

std::uint32_t BandwidthAccount::limit() const
{
    std::lock_guard guard(m_lock);
    return m_limit;
}

void BandwidthAccount::setLimit(std::uint32_t bytesPerSecond)
{
    std::lock_guard guard(m_lock);
    m_limit = bytesPerSecond;
}

void BandwidthAccount::setCarrierOnly(bool carrierOnly)
{
    std::lock_guard guard(m_lock);
    m_carrierOnly = carrierOnly;
}

void BandwidthAccount::setOnCarrierNetwork(bool onCarrier)
{
    std::lock_guard guard(m_lock);
    m_onCarrierNetwork = onCarrier;
}

void BandwidthAccount::configure(std::uint32_t limit, bool carrierOnly, bool onCarrier)
{
    std::lock_guard guard(m_lock);
    m_limit = limit;
    m_carrierOnly = carrierOnly;
    m_onCarrierNetwork = onCarrier;
}

bool BandwidthAccount::isThrottled() const
{
    std::lock_guard guard(m_lock);
    return isThrottledLocked();
}

bool BandwidthAccount::isThrottledLocked() const
{
    return m_limit > 0 && (!m_carrierOnly || m_onCarrierNetwork);
}

void BandwidthAccount::addUsage(std::uint64_t bytes, Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    closeWindowIfEnded(now);
    m_usedInWindow += bytes;
}

void BandwidthAccount::returnUnused(std::uint64_t bytes)
{
    std::lock_guard guard(m_lock);
    m_usedInWindow -= std::min(bytes, m_usedInWindow);
}

std::uint32_t BandwidthAccount::averageUsedPerSecond(Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    closeWindowIfEnded(now);
    return m_average;
}

std::vector<std::uint32_t> BandwidthAccount::samples() const
{
    std::lock_guard guard(m_lock);
    return {m_samples.begin(), m_samples.end()};
}

void BandwidthAccount::closeWindowIfEnded(Clock::time_point now)
{
    if (!m_windowEnd || now >= *m_windowEnd)
        recordBandwidthUsage(now);
}

// Closes the window: its usage becomes the newest sample, one old sample is dropped
// for every whole second that passed without a window (at most 5 old ones are kept),
// and the next window follows on at once while traffic flows.
void BandwidthAccount::recordBandwidthUsage(Clock::time_point now)
{
    if (m_usedInWindow == 0) {
        m_samples.clear();
    } else {
        double overdue = m_windowEnd ? std::chrono::duration<double>(now - *m_windowEnd).count() : 0;
        while (!m_samples.empty() && (overdue >= 1 || m_samples.size() >= kMaxSamples)) {
            m_samples.pop_front();
            overdue -= 1;
        }
    }
    m_samples.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(m_usedInWindow, UINT32_MAX)));
    bool follows = m_windowEnd && now >= *m_windowEnd && now - *m_windowEnd < kWindow;
    std::int64_t limit = m_limit;
    m_carried = follows ? std::clamp<std::int64_t>(limit - spentLocked(), -limit, limit / 10) : 0;
    m_windowEnd = (follows ? *m_windowEnd : now) + kWindow;
    m_usedInWindow = 0;
    std::uint64_t sum = std::accumulate(m_samples.begin(), m_samples.end(), std::uint64_t{0});
    m_average = static_cast<std::uint32_t>(sum / m_samples.size());
}

std::uint64_t BandwidthAccount::allowance(Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    if (!isThrottledLocked())
        return std::numeric_limits<std::uint64_t>::max();
    return allowanceLocked(now);
}

std::uint64_t BandwidthAccount::allowanceLocked(Clock::time_point now)
{
    closeWindowIfEnded(now);
    auto available = static_cast<std::int64_t>(pacedAmount(m_limit, now - (*m_windowEnd - kWindow))) - spentLocked();
    return available > 0 ? static_cast<std::uint64_t>(available) : 0;
}

std::size_t BandwidthAccount::responseReadLength(std::size_t wanted, Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    if (!isThrottledLocked())
        return wanted;
    auto allowed = allowanceLocked(now);
    if (allowed == 0)
        return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(wanted, std::max<std::uint64_t>(1, allowed / 4)));
}

std::uint32_t BandwidthAccount::maxUploadReadLength(Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    std::uint64_t length = m_limit / 4;
    if (isThrottledLocked())
        length = std::min(length, allowanceLocked(now));
    return static_cast<std::uint32_t>(length);
}

BandwidthAccount::Clock::duration BandwidthAccount::waitForAllowance(Clock::time_point now)
{
    std::lock_guard guard(m_lock);
    if (!isThrottledLocked())
        return {};
    auto useful = std::max<std::uint64_t>(kSmallestUsefulAllowance, m_limit / kPaceSteps);
    if (allowanceLocked(now) >= useful)
        return {};
    auto windowStart = *m_windowEnd - kWindow;
    auto needed = spentLocked() + static_cast<std::int64_t>(useful);
    if (needed > static_cast<std::int64_t>(m_limit))
        return *m_windowEnd - now;
    auto ready = windowStart
        + std::chrono::duration_cast<Clock::duration>(
                     std::chrono::duration<double>(static_cast<double>(needed) / static_cast<double>(m_limit)));
    return std::max(ready - now, Clock::duration(std::chrono::microseconds(100)));
}

} // namespace waterline
