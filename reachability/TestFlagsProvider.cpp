#include <waterline/reachability/TestFlagsProvider.h>

#include <cstdio>
#include <map>
#include <mutex>

#include <waterline/foundation/RunLoop.h>

#include "ScheduledRunLoops.h"

namespace waterline {

struct TestFlagsProvider::Answers {
    mutable std::mutex lock;
    std::map<std::string, std::optional<ReachabilityFlags>> flags;
    std::optional<ReachabilityFlags> defaultFlags = 0;
    bool refusesHandles = false;
    std::map<std::string, int> created;

    std::optional<ReachabilityFlags> flagsFor(const std::string& target) const;
};

namespace {

class TestReachabilityHandle final : public WatchedHandle {
public:
    TestReachabilityHandle(std::shared_ptr<TestFlagsProvider::Answers> answers,
                           std::shared_ptr<ScheduledRunLoops> scheduled, std::string target)
        : m_answers(std::move(answers))
        , m_scheduled(std::move(scheduled))
        , m_target(std::move(target))
    {
    }

    ~TestReachabilityHandle() override { m_scheduled->unscheduleEverywhere(*this); }

    const std::string& target() const { return m_target; }

    std::optional<ReachabilityFlags> getFlags() override { return m_answers->flagsFor(m_target); }
    bool scheduleWithRunLoop(RunLoop& runLoop) override { return m_scheduled->schedule(*this, runLoop); }
    bool unscheduleFromRunLoop(const RunLoop* runLoop) override { return m_scheduled->unschedule(*this, runLoop); }
    bool isScheduledWithRunLoop(const RunLoop* runLoop) const override
    {
        return m_scheduled->isScheduled(*this, runLoop);
    }

private:
    std::shared_ptr<TestFlagsProvider::Answers> m_answers;
    std::shared_ptr<ScheduledRunLoops> m_scheduled;
    const std::string m_target;
};

ScheduledRunLoops::HandleFilter targetIs(const std::string& target)
{
    return [target](WatchedHandle& handle) { return static_cast<TestReachabilityHandle&>(handle).target() == target; };
}

} // namespace

std::optional<ReachabilityFlags> TestFlagsProvider::Answers::flagsFor(const std::string& target) const
{
    std::lock_guard guard(lock);
    auto it = flags.find(target);
    return it == flags.end() ? defaultFlags : it->second;
}

TestFlagsProvider::TestFlagsProvider()
    : m_answers(std::make_shared<Answers>())
    // Change events come from setFlags, so a loop needs nothing attached; any
    // non-empty token will do.
    , m_scheduled(ScheduledRunLoops::create(
          [](RunLoop&, const std::weak_ptr<ScheduledRunLoops>&) { return std::make_shared<int>(0); }))
{
}

void TestFlagsProvider::setFlags(const std::string& target, std::optional<ReachabilityFlags> flags)
{
    {
        std::lock_guard guard(m_answers->lock);
        m_answers->flags[target] = flags;
    }
    auto filter = targetIs(target);
    m_scheduled->forEachLoopWith(filter, [&](RunLoop& loop) {
        loop.post([weak = std::weak_ptr<ScheduledRunLoops>(m_scheduled), loopPointer = &loop, filter] {
            if (auto scheduled = weak.lock())
                scheduled->reevaluate(loopPointer, filter);
        });
    });
}

void TestFlagsProvider::setDefaultFlags(std::optional<ReachabilityFlags> flags)
{
    std::lock_guard guard(m_answers->lock);
    m_answers->defaultFlags = flags;
}

void TestFlagsProvider::setRefusesHandles(bool refuses)
{
    std::lock_guard guard(m_answers->lock);
    m_answers->refusesHandles = refuses;
}

int TestFlagsProvider::handlesCreated(const std::string& target) const
{
    std::lock_guard guard(m_answers->lock);
    auto it = m_answers->created.find(target);
    return it == m_answers->created.end() ? 0 : it->second;
}

int TestFlagsProvider::scheduledRunLoopCount(const std::string& target) const
{
    int count = 0;
    m_scheduled->forEachLoopWith(targetIs(target), [&](RunLoop&) { ++count; });
    return count;
}

std::shared_ptr<ReachabilityHandle> TestFlagsProvider::createWithName(const std::string& hostName)
{
    return hostName.empty() ? nullptr : create(hostName);
}

std::shared_ptr<ReachabilityHandle> TestFlagsProvider::createWithAddress(const SocketAddressIPv4& address)
{
    if (address.length != SocketAddressIPv4::kLength || address.family != SocketAddressIPv4::kFamilyInet)
        return nullptr;
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address.address[0], address.address[1], address.address[2],
                  address.address[3]);
    return create(text);
}

std::shared_ptr<ReachabilityHandle> TestFlagsProvider::create(const std::string& target)
{
    {
        std::lock_guard guard(m_answers->lock);
        if (m_answers->refusesHandles)
            return nullptr;
        ++m_answers->created[target];
    }
    return std::make_shared<TestReachabilityHandle>(m_answers, m_scheduled, target);
}

} // namespace waterline
