// The error trace of the JSON objects.
#include <waterline/json/VelJsonBase.h>

namespace waterline {

std::optional<JsonErrorTrace> VelJsonBase::errorTrace() const
{
    std::lock_guard lock(m_traceLock);
    return m_errorTrace;
}

void VelJsonBase::addErrorWithCode(JsonErrorCode code, std::string description)
{
    {
        std::lock_guard lock(m_traceLock);
        if (!m_errorTrace)
            m_errorTrace.emplace();
        std::shared_ptr<const JsonError> underlying = m_errorTrace->empty() ? nullptr : m_errorTrace->back();
        m_errorTrace->push_back(std::make_shared<const JsonError>(code, std::move(description), std::move(underlying)));
    }
    announce();
}

void VelJsonBase::clearErrorTrace()
{
    // Announced even when the trace was absent already: observers hear of every
    // clearing, so each call on an observed object announces at least once.
    {
        std::lock_guard lock(m_traceLock);
        m_errorTrace.reset();
    }
    announce();
}

void VelJsonBase::setErrorTrace(std::optional<JsonErrorTrace> trace)
{
    {
        std::lock_guard lock(m_traceLock);
        m_errorTrace = std::move(trace);
    }
    announce();
}

void VelJsonBase::announce()
{
    if (onPropertyChange)
        onPropertyChange("errorTrace");
}

} // namespace waterline
