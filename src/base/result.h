#pragma once

#include <expected>
#include <utility>

namespace velmora {

// A value or the error that prevented it, for what a QCoro task gives. Everything else that
// can fail returns std::expected<T, QString> (void when there is no value); this holds one
// instead of being one because, as a task's result, std::expected's unconstrained
// operator== (libstdc++ 12) is found by the awaiter's handle comparison and fails to compile.
template<typename T, typename E> class Result
{
public:
    // An empty value; QCoro::waitFor needs to make its result before it has one.
    Result() requires std::default_initializable<T>
    = default;
    template<typename U = T>
    requires std::constructible_from<T, U> Result(U &&value)
        : m_value(std::forward<U>(value))
    {}
    template<typename G>
    Result(std::unexpected<G> error)
        : m_value(std::move(error))
    {}

    bool hasValue() const { return m_value.has_value(); }
    explicit operator bool() const { return m_value.has_value(); }

    const T &operator*() const & { return *m_value; }
    T &operator*() & { return *m_value; }
    T &&operator*() && { return *std::move(m_value); }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }

    const E &error() const & { return m_value.error(); }
    E &&error() && { return std::move(m_value).error(); }

private:
    std::expected<T, E> m_value;
};

} // namespace velmora
