#include <waterline/foundation/NotificationCenter.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace waterline;

namespace {

TEST(NotificationCenter, ObserversOfTheNameAreCalledInOrderOnThePostingThread)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    int sender = 0;
    auto first = center.addObserver("Changed", [&](const Notification& n) {
        calls.push_back("first " + n.name);
        EXPECT_EQ(n.object, &sender);
    });
    auto other = center.addObserver("Other", [&](const Notification&) { calls.push_back("other"); });
    auto second = center.addObserver("Changed", [&](const Notification&) { calls.push_back("second"); });
    std::thread::id callingThread;
    auto third
        = center.addObserver("Changed", [&](const Notification&) { callingThread = std::this_thread::get_id(); });

    center.post("Changed", &sender);
    EXPECT_EQ(calls, (std::vector<std::string>{"first Changed", "second"}));
    EXPECT_EQ(callingThread, std::this_thread::get_id());
    EXPECT_NE(first, second);
    for (auto token : {first, other, second, third})
        center.removeObserver(token);
    center.post("Changed");
    EXPECT_EQ(calls.size(), 2u);
}

TEST(NotificationCenter, RemovingObserversInsideACallback)
{
    struct Case {
        const char* what;
        int removerIndex; // observer that removes
        int removedIndex; // observer it removes
        std::vector<int> calledInFirstPost;
        std::vector<int> calledInSecondPost;
    };
    const Case cases[] = {
        {"itself", 1, 1, {0, 1, 2}, {0, 2}},
        {"a later one", 0, 2, {0, 1}, {0, 1}},
        {"an earlier one", 2, 0, {0, 1, 2}, {1, 2}},
    };
    for (const auto& c : cases) {
        NotificationCenter center;
        std::vector<NotificationCenter::ObserverToken> tokens(3);
        std::vector<int> called;
        for (int i = 0; i < 3; ++i) {
            tokens[i] = center.addObserver("N", [&, i](const Notification&) {
                called.push_back(i);
                if (i == c.removerIndex)
                    center.removeObserver(tokens[c.removedIndex]);
            });
        }
        center.post("N");
        EXPECT_EQ(called, c.calledInFirstPost) << c.what;
        called.clear();
        center.post("N");
        EXPECT_EQ(called, c.calledInSecondPost) << c.what;
    }
}

TEST(NotificationCenter, ObserverAddedInsideACallbackHearsTheNextPost)
{
    NotificationCenter center;
    int late = 0;
    bool added = false;
    center.addObserver("N", [&](const Notification&) {
        if (!added) {
            added = true;
            center.addObserver("N", [&](const Notification&) { ++late; });
        }
    });
    center.post("N");
    EXPECT_EQ(late, 0);
    center.post("N");
    EXPECT_EQ(late, 1);
}

TEST(NotificationCenter, RemovingUnknownTokensIsHarmless)
{
    NotificationCenter center;
    center.removeObserver({});
    center.removeObserver(NotificationCenter::ObserverToken{12345});
    auto token = center.addObserver("N", [](const Notification&) {});
    center.removeObserver(token);
    center.removeObserver(token);
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrationsLoseNothing)
{
    NotificationCenter center;
    std::atomic<int> steadyCalls{0};
    center.addObserver("N", [&](const Notification&) { ++steadyCalls; });
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kPosters; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kPostsEach; ++i)
                center.post("N");
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < kPostsEach; ++i)
            center.removeObserver(center.addObserver("N", [](const Notification&) {}));
    });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(steadyCalls, kPosters * kPostsEach);
}

TEST(NotificationCenter, DefaultCenterIsOneObject)
{
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

} // namespace
