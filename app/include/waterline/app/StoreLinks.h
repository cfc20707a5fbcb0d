// Deployment values: where the application's review page and the companion
// application's page live. Change them here for a release; nothing else refers to the
// store by name.
#pragma once

#include <string>
#include <string_view>

namespace waterline {

struct StoreLinks {
    static constexpr std::string_view kStoreHost = "store.example.com";
    static constexpr std::string_view kApplicationIdentifier = "100000001";
    static constexpr std::string_view kCompanionPage = "https://store.example.com/app/amorette/id100000002";

    // itms-apps://<host>/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=<id>
    static std::string reviewLink()
    {
        return "itms-apps://" + std::string(kStoreHost)
            + "/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id="
            + std::string(kApplicationIdentifier);
    }
    static std::string companionLink() { return std::string(kCompanionPage); }
};

} // namespace waterline
