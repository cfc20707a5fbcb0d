// What an observer of the notification centre receives: the name that was posted and,
// optionally, the object that posted it (not owned; compare it, do not keep it).
#pragma once

#include <string>

namespace waterline {

struct Notification {
    std::string name;
    const void* object = nullptr;
};

} // namespace waterline
