// The process-wide bandwidth allowance that every request and body stream draws on:
// a limit in bytes per second, the bytes used in the current one-second window, the
// usage of the last few windows and their average, and whether the limit applies only
// on a carrier network.
//
// The allowance of a window is paced: at a point in the window only the share of the
// limit that has elapsed may be used. A plain per-second budget lets every window
// begin with a burst of a whole second's bytes, so the rate measured over a few
// seconds drifts by up to one second's worth; pacing keeps every span of the transfer
// near the limit and leaves the transport little to hold. Windows follow one another
// without gaps while traffic flows, and the balance of a window carries into the
// next: an overdraft is paid back, and an allowance not taken by the window's end
// (a waiting thread that woke late) is kept, up to a tenth of a second's worth.
//
// The account never sleeps. It answers how long a caller should wait, and the caller
// decides how (in short steps that see a cancel). Times are passed in, so that the
// windows can be tested without waiting for them.
//
//     auto& account = BandwidthAccount::shared();
//     auto length = account.readLength(65536, Clock::now());   // 0: wait first
//     account.addUsage(received, Clock::now());
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace waterline {

class BandwidthAccount {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxSamples = 6;

    static BandwidthAccount& shared();

    // 0: no limit.
    std::uint32_t limit() const;
    void setLimit(std::uint32_t bytesPerSecond);
    // With the carrier-only mode on, the limit applies only while on a carrier network.
    void setCarrierOnly(bool carrierOnly);
    void setOnCarrierNetwork(bool onCarrier);
    // Sets mode and limit in one step, so that no reader sees one without the other.
    void configure(std::uint32_t limit, bool carrierOnly, bool onCarrier);
    // A limit of 0 never throttles, also on a carrier network: it means "no limit".
    bool isThrottled() const;

    void addUsage(std::uint64_t bytes, Clock::time_point now);
    // Gives back bytes granted to a read that returned fewer.
    void returnUnused(std::uint64_t bytes);
    std::uint32_t averageUsedPerSecond(Clock::time_point now);
    std::vector<std::uint32_t> samples() const;

    // Bytes that may be taken now: what the window has paced out so far less what was
    // used. Unlimited (the largest value) while not throttled.
    std::uint64_t allowance(Clock::time_point now);
    // The length of the next response read: `wanted` while not throttled, else a
    // quarter of the allowance (at least 1) and 0 when nothing is allowed yet.
    std::size_t responseReadLength(std::size_t wanted, Clock::time_point now);
    // Body bytes a stream may read now: a quarter of the limit, cut to the allowance
    // (0 when none is left).
    std::uint32_t maxUploadReadLength(Clock::time_point now);
    // How long a transfer should wait before it can be given a useful amount (a
    // hundredth of the limit, at least 8 bytes); zero when it need not wait.
    Clock::duration waitForAllowance(Clock::time_point now);

private:
    bool isThrottledLocked() const;
    void closeWindowIfEnded(Clock::time_point now);
    void recordBandwidthUsage(Clock::time_point now);
    std::uint64_t allowanceLocked(Clock::time_point now);
    // Bytes used in the window less what the previous one left over.
    std::int64_t spentLocked() const { return static_cast<std::int64_t>(m_usedInWindow) - m_carried; }

    mutable std::mutex m_lock; // taken after a request's cancelledLock, never before
    std::uint32_t m_limit = 0;
    std::uint64_t m_usedInWindow = 0;
    std::int64_t m_carried = 0; // what the previous window left over (negative: overdrawn)
    std::optional<Clock::time_point> m_windowEnd;
    std::deque<std::uint32_t> m_samples;
    std::uint32_t m_average = 0;
    bool m_carrierOnly = false;
    bool m_onCarrierNetwork = false;
};

} // namespace waterline
