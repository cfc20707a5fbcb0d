#include <waterline/app/AlertRouting.h>
#include <waterline/app/AlertTexts.h>

namespace waterline {

AlertRoute routeAlertDismissal(int tag, int buttonIndex)
{
    // The button decides first: the "No Camera is detected." notice shares tag 0 with
    // the rate prompt but has only button 0, so it can never open the review page.
    if (buttonIndex != 1)
        return AlertRoute::Nothing;
    if (tag == AlertTexts::kRateTag)
        return AlertRoute::GoToRate;
    if (tag == AlertTexts::kMoreTag)
        return AlertRoute::GoToMore;
    return AlertRoute::Nothing;
}

} // namespace waterline
