// Evaluating PAC scripts in the embedded engine, one engine per evaluation. The
// engine's memory comes through an allocator that counts it against the limit, and
// the engine asks waterlineDuktapeTimedOut() every few thousand instructions whether
// to stop.
#include "PACFunctions.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/http/PACScript.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <duktape.h>
#include <memory>

namespace waterline {

namespace {

using Clock = std::chrono::steady_clock;

// What one evaluation needs inside the engine: the inputs, the bounds and how the
// evaluation got on. The engine passes it to the allocator and the time-out check.
struct Evaluation {
    std::string_view scriptText;
    std::string url;
    std::string host;
    Clock::time_point deadline;
    std::size_t memoryLimit = 0;
    std::size_t memoryUsed = 0;
    bool timedOut = false;
    bool memoryExhausted = false;
    // Set when the script ran but gave no usable answer.
    std::optional<PACScript::ErrorCode> failure;
};

// Each block starts with a header holding its size, so that freeing can count it.
struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
};

void* allocate(void* userData, duk_size_t size)
{
    auto& evaluation = *static_cast<Evaluation*>(userData);
    if (size > evaluation.memoryLimit - evaluation.memoryUsed) {
        evaluation.memoryExhausted = true;
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!header)
        return nullptr;
    header->size = size;
    evaluation.memoryUsed += size;
    return header + 1;
}

void release(void* userData, void* pointer)
{
    if (!pointer)
        return;
    auto* header = static_cast<BlockHeader*>(pointer) - 1;
    static_cast<Evaluation*>(userData)->memoryUsed -= header->size;
    std::free(header);
}

void* reallocate(void* userData, void* pointer, duk_size_t size)
{
    if (!pointer)
        return allocate(userData, size);
    if (size == 0) {
        release(userData, pointer);
        return nullptr;
    }
    const std::size_t oldSize = (static_cast<BlockHeader*>(pointer) - 1)->size;
    void* moved = allocate(userData, size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, pointer, std::min(oldSize, size));
    release(userData, pointer);
    return moved;
}

// Reached only for an error outside a protected call, which this file never makes.
void engineFailed(void*, const char* message)
{
    std::fprintf(stderr, "PAC script engine: fatal error: %s\n", message);
    std::abort();
}

struct HeapDestroyer {
    void operator()(duk_context* context) const { duk_destroy_heap(context); }
};

duk_ret_t failWith(duk_context* context, Evaluation& evaluation, PACScript::ErrorCode code)
{
    evaluation.failure = code;
    return duk_error(context, DUK_ERR_TYPE_ERROR, "no usable answer");
}

// Runs inside a protected call: loads the helpers and the script, then calls
// FindProxyForURL. Leaves the answer on the stack.
duk_ret_t runScript(duk_context* context, void* userData)
{
    auto& evaluation = *static_cast<Evaluation*>(userData);
    installPACFunctions(context);
    duk_push_string(context, "PAC script");
    duk_compile_lstring_filename(context, 0, evaluation.scriptText.data(), evaluation.scriptText.size());
    duk_call(context, 0);
    duk_pop(context);

    if (!duk_get_global_string(context, "FindProxyForURL") || !duk_is_function(context, -1))
        return failWith(context, evaluation, PACScript::ErrorCode::NoFindProxyForURL);
    duk_push_lstring(context, evaluation.url.data(), evaluation.url.size());
    duk_push_lstring(context, evaluation.host.data(), evaluation.host.size());
    duk_call(context, 2);
    if (!duk_is_string(context, -1))
        return failWith(context, evaluation, PACScript::ErrorCode::BadResult);
    return 1;
}

ErrorPtr evaluationError(const Evaluation& evaluation, const PACScript::Limits& limits, const std::string& message)
{
    using Code = PACScript::ErrorCode;
    auto error = [](Code code, std::string text) {
        return Error::create(PACScript::kErrorDomain, static_cast<int>(code), std::move(text));
    };
    if (evaluation.timedOut)
        return error(Code::TimeLimit, "The PAC script ran longer than " + std::to_string(limits.time.count()) + " ms");
    if (evaluation.memoryExhausted)
        return error(Code::MemoryLimit,
                     "The PAC script needed more than " + std::to_string(limits.memoryBytes) + " bytes of memory");
    if (evaluation.failure == Code::NoFindProxyForURL)
        return error(Code::NoFindProxyForURL, "The PAC script does not define the function FindProxyForURL");
    if (evaluation.failure == Code::BadResult)
        return error(Code::BadResult, "FindProxyForURL did not return a string");
    return error(Code::ScriptError, "The PAC script failed: " + message);
}

// The URL as the script sees it: no credentials, no fragment.
std::string urlForScript(const URL& url)
{
    std::string text = url.scheme() + ":";
    if (url.hasAuthority())
        text.append("//").append(url.hostAndPort());
    text += url.path();
    if (url.query())
        text.append("?").append(*url.query());
    return text;
}

} // namespace

// The engine's time-out check; its user data is the Evaluation of the heap asking.
extern "C" int waterlineDuktapeTimedOut(void* heapUserData)
{
    auto& evaluation = *static_cast<Evaluation*>(heapUserData);
    if (Clock::now() < evaluation.deadline)
        return 0;
    evaluation.timedOut = true;
    return 1;
}

PACScript::PACScript(std::string text)
    : m_text(std::move(text))
{
}

ErrorOr<PACScript> PACScript::load(const URL& scriptURL)
{
    auto failed = [&](const std::string& reason) {
        return Error::create(kErrorDomain, static_cast<int>(ErrorCode::LoadFailed),
                             "Cannot load the PAC script " + scriptURL.string() + ": " + reason);
    };
    if (scriptURL.scheme() != "file")
        return failed("only file: URLs are read here");
    if (!scriptURL.host().empty() && scriptURL.host() != "localhost")
        return failed("the file is on another host");
    const auto path = URL::percentDecode(scriptURL.path());
    if (path.find('\0') != std::string::npos)
        return failed("the path holds a NUL byte"); // it would name another file
    auto bytes = readFile(path, {.maxBytes = kMaximumScriptSize});
    if (!bytes)
        return failed(bytes.error()->localizedDescription());
    return PACScript(std::string(bytes->begin(), bytes->end()));
}

ErrorOr<std::string> PACScript::findProxyForURL(const URL& url, Limits limits) const
{
    Evaluation evaluation;
    evaluation.scriptText = m_text;
    evaluation.url = urlForScript(url);
    evaluation.host = url.hostName();
    evaluation.deadline = Clock::now() + limits.time;
    evaluation.memoryLimit = limits.memoryBytes;

    std::unique_ptr<duk_context, HeapDestroyer> heap(
        duk_create_heap(allocate, reallocate, release, &evaluation, engineFailed));
    if (!heap)
        return evaluationError(evaluation, limits, "the engine did not start");
    duk_context* context = heap.get();
    if (duk_safe_call(context, runScript, &evaluation, 0, 1) != DUK_EXEC_SUCCESS)
        return evaluationError(evaluation, limits, duk_safe_to_string(context, -1));
    duk_size_t length = 0;
    const char* answer = duk_get_lstring(context, -1, &length);
    return std::string(answer, length);
}

ErrorOr<std::vector<ProxyEntry>> PACScript::proxiesForURL(const URL& url, Limits limits) const
{
    return parsePACResult(WL_TRY(findProxyForURL(url, limits)));
}

} // namespace waterline
