// The error trace of the JSON objects.
#include "waterline/json/VelJsonBase.h"

namespace waterline {

std::optional<JsonErrorTrace> VelJsonBase::errorTrace() const {
    std::lock_guard lock(traceLock_);
    return errorTrace_;
}

void VelJsonBase::addErrorWithCode(JsonErrorCode code, std::string description) {
    {
        std::lock_guard lock(traceLock_);
        if (!errorTrace_) errorTrace_.emplace();
        std::shared_ptr<const JsonError> underlying = errorTrace_->empty() ? nullptr : errorTrace_->back();
        errorTrace_->push_back(std::make_shared<const JsonError>(code, std::move(description), std::move(underlying)));
    }
    announce();
}

void VelJsonBase::clearErrorTrace() {
    // Announced even when the trace was absent already: observers hear of every
    // clearing, so each call on an observed object announces at least once.
    {
        std::lock_guard lock(traceLock_);
        errorTrace_.reset();
    }
    announce();
}

void VelJsonBase::setErrorTrace(std::optional<JsonErrorTrace> trace) {
    {
        std::lock_guard lock(traceLock_);
        errorTrace_ = std::move(trace);
    }
    announce();
}

void VelJsonBase::announce() {
    if (onPropertyChange) onPropertyChange("errorTrace");
}

}  // namespace waterline
