// What a function that can fail returns: its value, or the reason there is
// none. The reason travels in the result, so that no caller can take a value
// without looking, and none has to hand in a string for the words.
//
//   Expected<std::string> ReadName(...);   // return name; / return Unexpected{"why"};
//   Expected<void> Open(...);              // return {};   / return Unexpected{"why"};
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace vardex::platform {

// The failure side, named apart so that an Expected<std::string> tells its
// text from its reason.
template <typename E>
struct Unexpected {
    explicit Unexpected(E failure) : error(std::move(failure)) {}
    E error;
};
Unexpected(const char*)->Unexpected<std::string>;

template <typename T, typename E = std::string>
class [[nodiscard]] Expected {
public:
    Expected(T value) : held_(std::in_place_index<0>, std::move(value)) {}
    template <typename G>
    Expected(Unexpected<G> failure) : held_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return held_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    // The value; std::bad_variant_access on a failure.
    T& value() & { return std::get<0>(held_); }
    const T& value() const& { return std::get<0>(held_); }
    T&& value() && { return std::get<0>(std::move(held_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // For a caller to whom a failure is the same as nothing.
    T value_or(T otherwise) const& { return has_value() ? value() : std::move(otherwise); }
    T value_or(T otherwise) && {
        return has_value() ? std::move(*this).value() : std::move(otherwise);
    }

    // The reason; std::bad_variant_access on a success.
    const E& error() const { return std::get<1>(held_); }

private:
    std::variant<T, E> held_;
};

// Success or the reason for a failure, with nothing to return beside.
template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <typename G>
    Expected(Unexpected<G> failure) : error_(std::move(failure.error)) {}

    bool has_value() const { return !error_.has_value(); }
    explicit operator bool() const { return has_value(); }

    // The reason; std::bad_optional_access on a success.
    const E& error() const { return error_.value(); }

private:
    std::optional<E> error_;
};

}  // namespace vardex::platform
