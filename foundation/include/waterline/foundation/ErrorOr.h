// A result that holds either a value or the error record saying why there is none.
//
// How the project reports failure:
//   - A call that can fail for a reason a caller may want to show or act on returns
//     ErrorOr<T> (ErrorOr<void> when there is no value). The error is an ErrorPtr: a
//     domain, a code and a description meant for people.
//   - A call whose only failure is "not there" returns std::optional or an empty pointer.
//   - Exceptions are for programming errors (a broken precondition, a wrong-kind access)
//     and for allocation failure; they are not used for expected failures such as a
//     missing file or a refused connection. The JSON library keeps its own error trace.
//
//     ErrorOr<std::vector<std::uint8_t>> readHeader(const FileDescriptor& file);
//
//     ErrorOr<Header> parseFile(const FileDescriptor& file)
//     {
//         auto bytes = WL_TRY(readHeader(file));   // returns the error to our caller
//         if (bytes.size() < 4)
//             return Error::create("HeaderErrorDomain", 1, "header too short");
//         return Header{bytes};
//     }
//
//     auto header = parseFile(file);
//     if (!header)
//         log(header.error()->localizedDescription());
#pragma once

#include <waterline/foundation/Error.h>

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace waterline {

template <typename T> class [[nodiscard]] ErrorOr {
    static_assert(!std::is_same_v<std::remove_cvref_t<T>, ErrorPtr>, "an error cannot be the value");

public:
    using ValueType = T;

    template <typename U = T>
    requires std::is_constructible_v<T, U&&> &&(!std::is_same_v<std::remove_cvref_t<U>, ErrorPtr>)&&(
        !std::is_same_v<std::remove_cvref_t<U>, ErrorOr>)ErrorOr(U&& value)
        : m_storage(std::in_place_index<0>, std::forward<U>(value))
    {
    }

    // An error result; `error` must not be empty.
    ErrorOr(ErrorPtr error)
        : m_storage(std::in_place_index<1>, std::move(error))
    {
        assert(std::get<1>(m_storage));
    }

    bool isError() const { return m_storage.index() == 1; }
    explicit operator bool() const { return !isError(); }

    T& value() & { return std::get<0>(m_storage); }
    const T& value() const& { return std::get<0>(m_storage); }
    T&& value() && { return std::get<0>(std::move(m_storage)); }
    T releaseValue() { return std::get<0>(std::move(m_storage)); }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // The error; empty when this holds a value.
    ErrorPtr error() const { return isError() ? std::get<1>(m_storage) : ErrorPtr{}; }
    ErrorPtr releaseError() { return std::get<1>(std::move(m_storage)); }

private:
    std::variant<T, ErrorPtr> m_storage;
};

template <> class [[nodiscard]] ErrorOr<void> {
public:
    using ValueType = void;

    ErrorOr() = default;
    // An error result, or success when `error` is empty.
    ErrorOr(ErrorPtr error)
        : m_error(std::move(error))
    {
    }

    bool isError() const { return m_error != nullptr; }
    explicit operator bool() const { return !isError(); }
    void value() const {}
    void releaseValue() const {}

    const ErrorPtr& error() const { return m_error; }
    ErrorPtr releaseError() { return std::move(m_error); }

private:
    ErrorPtr m_error;
};

} // namespace waterline

// Evaluates `expression` (an ErrorOr); on error returns the error from the enclosing
// function, otherwise yields the value.
#define WL_TRY(expression)                                                                                             \
    ({                                                                                                                 \
        auto _wlResult = (expression);                                                                                 \
        if (_wlResult.isError())                                                                                       \
            return _wlResult.releaseError();                                                                           \
        _wlResult.releaseValue();                                                                                      \
    })
