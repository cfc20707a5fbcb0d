// One direction (upload or download) of a queue's aggregated progress: units done and
// units expected, and the receiver that is shown done ÷ expected. Units are bytes,
// or whole requests when the queue does not show accurate progress.
//
// Requests report from their own threads, up to four at once, so every change is
// made under one lock together with handing the new fraction to
// HTTPRequest::setProgress: no report is lost, and fractions reach the receiver in
// the order the counts changed. The lock is recursive because on the main thread
// the receiver runs inside that call and may report again. Reading the counts takes
// no lock.
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
#include <mutex>

namespace waterline {

class ProgressTally {
public:
    std::uint64_t done() const { return m_done.load(); }
    std::uint64_t expected() const { return m_expected.load(); }

    std::shared_ptr<ProgressReceiver> receiver() const { return m_receiver.get().lock(); }
    void setReceiver(std::weak_ptr<ProgressReceiver> receiver) { m_receiver.set(std::move(receiver)); }

    // Each of these refreshes the receiver with the new fraction.
    void expectMore(std::uint64_t units);
    void expectLess(std::uint64_t units);
    void add(std::uint64_t units);
    void remove(std::uint64_t units);

    // Both counts back to 0, without telling the receiver.
    void reset();

private:
    enum class Change { Add, Remove };
    void changeDone(Change change, std::uint64_t units);
    void deliver(const std::shared_ptr<ProgressReceiver>& receiver) const;

    std::recursive_mutex m_lock; // guards every change of the two counts below
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<std::uint64_t> m_expected{0};
    AtomicProperty<std::weak_ptr<ProgressReceiver>> m_receiver;
};

} // namespace waterline
