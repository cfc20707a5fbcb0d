// Every alert the main screen shows, with its exact wording, buttons and tag, in one
// place. An alert's buttons are listed cancel button first, so index 0 is the cancel
// button and index 1 the first other button.
#pragma once

#include <string_view>
#include <vector>

namespace waterline {

struct AlertText {
    std::string_view title;
    std::string_view message;
    std::vector<std::string_view> buttons;
    int tag = 0;
};

struct AlertTexts {
    // Tags that route a dismissal; other alerts carry tag 0 and a single button.
    static constexpr int kRateTag = 0;
    static constexpr int kMoreTag = 2;

    static AlertText rate()
    {
        return {"Rate?", "Could you give us a rate and some suggestions to improve this App?", {"No", "Yes"}, kRateTag};
    }
    static AlertText more()
    {
        return {"A Bonus Free App: Amorette",
                "Free Amorette App will help you make magic love photo for your sweet heart. Would you like "
                "to download the FREE App now?",
                {"No", "Yes"},
                kMoreTag};
    }
    static AlertText noCamera() { return {"No Camera is detected.", "You can load photo from your album.", {"OK"}}; }
    static AlertText noPhotoLibrary()
    {
        return {"Error accessing photo library", "Device does not support a photo library", {"Drat!"}};
    }
    static AlertText saved() { return {"Saved!", "The photo has saved to your album.", {"OK"}}; }
    static AlertText notSaved(std::string_view reason) { return {"Not Saved", reason, {"OK"}}; }
    static AlertText photoNotOpened()
    {
        return {"Cannot Open Photo", "The file may be damaged or incomplete.", {"OK"}};
    }
    static AlertText nothingToSave()
    {
        return {"Nothing to Save",
                "The reflection is too short to make a picture. Raise the reflection height "
                "and try again.",
                {"OK"}};
    }
};

} // namespace waterline
