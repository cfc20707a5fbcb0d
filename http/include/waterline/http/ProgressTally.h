// One direction (upload or download) of a queue's aggregated progress: units done and
// units expected, and the receiver that is shown done ÷ expected. Units are bytes,
// or whole requests when the queue does not show accurate progress.
//
// Requests report from their own threads, up to four at once, while holding the
// request side's progress lock at times, so a report takes no lock here: the counts
// are atomics (no report is lost), and the receiver is refreshed on the main thread
// with the counts as they are then. Reports from other threads that arrive before
// that refresh has run share it, so the receiver never goes back to an older value
// and the main thread is not flooded; on the main thread a report refreshes at once.
//
// Nothing is counted while no receiver is set, and progress reported while nothing
// is expected yet is dropped. Taking away more than is there leaves 0 rather than
// wrapping around to an enormous count.
#pragma once

#include <waterline/http/AtomicProperty.h>
#include <waterline/http/ProgressReceiver.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace waterline {

class ProgressTally {
public:
    std::uint64_t done() const { return m_state->done.load(); }
    std::uint64_t expected() const { return m_state->expected.load(); }

    std::shared_ptr<ProgressReceiver> receiver() const { return m_state->receiver.get().lock(); }
    void setReceiver(std::weak_ptr<ProgressReceiver> receiver) { m_state->receiver.set(std::move(receiver)); }

    // Each of these refreshes the receiver with the new fraction.
    void expectMore(std::uint64_t units);
    void expectLess(std::uint64_t units);
    void add(std::uint64_t units);
    void remove(std::uint64_t units);

    // Both counts back to 0, without telling the receiver.
    void reset();

private:
    // Shared with refreshes on their way to the main thread, which may outlive the tally.
    struct State {
        std::atomic<std::uint64_t> done{0};
        std::atomic<std::uint64_t> expected{0};
        std::atomic<bool> refreshPending{false};
        AtomicProperty<std::weak_ptr<ProgressReceiver>> receiver;

        void refresh();
    };
    static void takeAway(std::atomic<std::uint64_t>& count, std::uint64_t units);
    void scheduleRefresh();

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace waterline
