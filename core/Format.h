#pragma once

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

class wstr;

namespace detail {

// A narrow text given to a wide format: each byte becomes one character (no
// UTF-8 decoding), the way exception texts have always been shown.
struct FmtNarrowText {
    std::string_view bytes;
};

// A wide text given to a narrow format (an exception text): written as UTF-8.
struct FmtUtf8Text {
    const std::wstring& text;
};

template <typename T>
constexpr bool isNarrowCString =
    std::is_same_v<std::decay_t<T>, const char*> || std::is_same_v<std::decay_t<T>, char*>;
template <typename T>
constexpr bool isWideString = std::is_base_of_v<std::wstring, std::remove_cvref_t<T>>;

// Argument mapping for wide formats: narrow C strings become FmtNarrowText,
// everything else is passed through unchanged.
template <typename T, typename = void> struct FmtWideArg {
    using type = T;
    template <typename U> static U&& map(U&& value) { return std::forward<U>(value); }
};
template <typename T> struct FmtWideArg<T, std::enable_if_t<isNarrowCString<T>>> {
    using type = FmtNarrowText;
    static FmtNarrowText map(const char* value) { return {value ? value : ""}; }
};

// Argument mapping for narrow formats: a wide string becomes its UTF-8 form.
template <typename T, typename = void> struct FmtNarrowArg {
    using type = T;
    template <typename U> static U&& map(U&& value) { return std::forward<U>(value); }
};
template <typename T> struct FmtNarrowArg<T, std::enable_if_t<isWideString<T>>> {
    using type = FmtUtf8Text;
    static FmtUtf8Text map(const std::wstring& value) { return {value}; }
};

template <typename... Args>
using WideFormatString = fmt::wformat_string<typename FmtWideArg<Args>::type...>;
template <typename... Args>
using NarrowFormatString = fmt::format_string<typename FmtNarrowArg<Args>::type...>;

// fmt's buffer over the character storage of a target string, starting at the
// target's length when formatting began. Growing resizes the target itself, so
// the text is built without an intermediate buffer.
template <typename String>
class FmtBuffer : public fmt::detail::buffer<typename String::value_type> {
public:
    explicit FmtBuffer(String& target) : target_(target), start_(target.size()) {
        this->set(target_.data() + start_, 0);
    }
    FmtBuffer(const FmtBuffer&) = delete;
    FmtBuffer& operator=(const FmtBuffer&) = delete;
    virtual ~FmtBuffer() = default;

    String& target() { return target_; }
    std::size_t start() const { return start_; }

protected:
    void grow(std::size_t capacity) override {
        target_.resize(start_ + capacity);
        this->set(target_.data() + start_, capacity);
    }

private:
    String& target_;
    std::size_t start_;
};

// The output that fmt writes to: owns the buffer over the target. On success
// finish() cuts the target at its first NUL; whatever happens, the unused
// NUL-filled tail of the last growth never stays in the target.
template <typename String> class FmtAppender {
public:
    explicit FmtAppender(String& target) : buffer_(target) {}
    FmtAppender(const FmtAppender&) = delete;
    FmtAppender& operator=(const FmtAppender&) = delete;
    ~FmtAppender() { dropUnusedTail(); }

    auto out() { return fmt::detail::buffer_appender<typename String::value_type>(buffer_); }

    void finish() {
        dropUnusedTail();
        String& target = buffer_.target();
        std::size_t nul = target.find(typename String::value_type());
        if (nul != String::npos)
            target.resize(nul);
    }

private:
    void dropUnusedTail() {
        std::size_t written = buffer_.start() + buffer_.size();
        if (buffer_.target().size() > written)
            buffer_.target().resize(written);
    }

    FmtBuffer<String> buffer_;
};

// Appends the formatted text to target (see wstr::format).
wstr& vformatInto(wstr& target, fmt::wstring_view format, fmt::wformat_args args);
// UTF-8 form of a wide text (wstr::toUtf8 of the whole text).
std::string utf8Of(const std::wstring& text);
// A narrow text given to a wide format. Exception and system texts are UTF-8
// on Linux, so valid UTF-8 is decoded; anything else is widened byte by byte.
std::wstring widenNarrow(std::string_view bytes);
// Formats a narrow text with a 500-character inline buffer.
std::string vformatNarrow(fmt::string_view format, fmt::format_args args);

} // namespace detail

// Formats a narrow text, typically the what() of an exception ("... (error {})").
// A wstr argument is written as UTF-8. Any thread.
template <typename... Args>
std::string formatNarrow(detail::NarrowFormatString<Args...> format, Args&&... args) {
    return detail::vformatNarrow(
        fmt::string_view(format),
        fmt::make_format_args(detail::FmtNarrowArg<Args>::map(std::forward<Args>(args))...));
}

template <>
struct fmt::formatter<::detail::FmtNarrowText, wchar_t>
    : fmt::formatter<fmt::wstring_view, wchar_t> {
    template <typename Context>
    auto format(const ::detail::FmtNarrowText& text, Context& ctx) const {
        return fmt::formatter<fmt::wstring_view, wchar_t>::format(::detail::widenNarrow(text.bytes),
                                                                  ctx);
    }
};

template <>
struct fmt::formatter<::detail::FmtUtf8Text, char> : fmt::formatter<fmt::string_view, char> {
    template <typename Context> auto format(const ::detail::FmtUtf8Text& text, Context& ctx) const {
        return fmt::formatter<fmt::string_view, char>::format(::detail::utf8Of(text.text), ctx);
    }
};
