// The error trace shared by the JSON parser, the writer and their facade.
//
// A failing call leaves its reasons here as a chain of error records, innermost first:
// every scanner or writer step that gives up adds its own record on top, linked to the
// one before it. The trace is absent (not merely empty) on a new object and after it is
// cleared, which each call does first, so after a success there is none. Readers on
// other threads see a whole trace or none; one object still serves one call at a time.
#pragma once

#include <waterline/json/JsonError.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace waterline {

class VelJsonBase {
public:
    VelJsonBase() = default;
    VelJsonBase(const VelJsonBase&) = delete;
    VelJsonBase& operator=(const VelJsonBase&) = delete;
    virtual ~VelJsonBase() = default;

    std::optional<JsonErrorTrace> errorTrace() const;

    // Told the property name ("errorTrace") after every record added, every clearing
    // (even of an absent trace) and every replacement; empty: nobody observes.
    std::function<void(std::string_view property)> onPropertyChange;

    // Appends a record whose underlying error is the last one already in the trace.
    void addErrorWithCode(JsonErrorCode code, std::string description);
    void clearErrorTrace();

protected:
    // Replaces the trace as a whole (the facade's copy of a component's trace).
    void setErrorTrace(std::optional<JsonErrorTrace> trace);

private:
    void announce();

    // A plain mutex rather than a guarded wrapper, as json/ depends on no other project
    // library. It guards m_errorTrace alone and is held only while the trace is copied or
    // changed, never while onPropertyChange runs.
    mutable std::mutex m_traceLock;
    std::optional<JsonErrorTrace> m_errorTrace;
};

} // namespace waterline
