// A value, or the typed error that says why there is none: the one shape of
// a fallible call across our own code (docs/error-types.md lists the error
// types). Failure is the error of a call whose failure is only ever told to
// a person as text; a boundary with facts of its own names its own error
// type (ErrorInfo for the XML layer, UnzipOutcome for the extractor, ...).
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace morvik::platform {

struct Failure {
    std::string reason;
};

template <class T, class E = Failure>
    requires(!std::is_same_v<T, E>)
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& operator*() { return std::get<0>(m_state); }
    const T& operator*() const { return std::get<0>(m_state); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }

    // The error; only when !ok().
    E& error() { return std::get<1>(m_state); }
    const E& error() const { return std::get<1>(m_state); }

    // For Failure: why there is no value; empty when there is one.
    const std::string& failure() const
        requires std::is_same_v<E, Failure>
    {
        static const std::string kNone;
        return ok() ? kNone : error().reason;
    }

private:
    std::variant<T, E> m_state;
};

} // namespace morvik::platform
