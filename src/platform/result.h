// A value, or the reason why there is none: how the adapters in this folder
// report a failure that is told to a person as text (a schema that cannot be
// used, a file that cannot be read). Failures with a code of their own use
// an enum class instead (UnzipResult, XmlLoadError).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace morvik::platform {

struct Failure {
    std::string reason;
};

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure.reason)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }

    // Why there is no value; empty when there is one.
    const std::string& failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    std::string m_failure;
};

} // namespace morvik::platform
