// Who hears about a NetworkQueue's batch: a request delegate (finish, failure and the
// two credential calls, by the names of HTTPRequestDelegate) that also hears when
// the batch is over. The queue calls an operation only when its name is set on the
// queue and implements() says the delegate has it; every call arrives on the main
// thread. The queue holds its delegate by std::weak_ptr and never owns it.
//
//     class Batch : public NetworkQueueDelegate {
//         bool implements(std::string_view name) const override
//         {
//             return name == kRequestFinished || name == kQueueFinished;
//         }
//         void requestFinished(HTTPRequest& request) override { save(request); }
//         void queueFinished(NetworkQueue&) override { RunLoop::main().stop(); }
//     };
//     queue->setRequestDidFinishSelector(std::string(Batch::kRequestFinished));
//     queue->setQueueDidFinishSelector(std::string(Batch::kQueueFinished));
#pragma once

#include <waterline/http/HTTPRequestDelegate.h>

#include <string_view>

namespace waterline {

class NetworkQueue;

class NetworkQueueDelegate : public HTTPRequestDelegate {
public:
    static constexpr std::string_view kQueueFinished = "queueFinished:";

    // Runs the queue callback named `callback`. The default runs queueFinished for
    // kQueueFinished; a delegate with a name of its own overrides it.
    virtual void performQueueCallback(std::string_view callback, NetworkQueue& queue)
    {
        if (callback == kQueueFinished)
            queueFinished(queue);
    }

    virtual void queueFinished(NetworkQueue&) {}
};

} // namespace waterline
