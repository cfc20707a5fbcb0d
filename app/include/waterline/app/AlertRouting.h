// Which action the dismissal of an alert leads to. Only the "Yes" button (index 1) of
// the two prompts does anything; every other alert and button is a plain dismissal.
#pragma once

namespace waterline {

enum class AlertRoute { Nothing, GoToRate, GoToMore };

AlertRoute routeAlertDismissal(int tag, int buttonIndex);

} // namespace waterline
