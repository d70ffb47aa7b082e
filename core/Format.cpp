#include "core/Format.h"

#include "core/Wstr.h"

namespace detail {

wstr& vformatInto(wstr& target, fmt::wstring_view format, fmt::wformat_args args) {
    FmtAppender<wstr> appender(target);
    fmt::vformat_to(appender.out(), format, args);
    appender.finish();
    return target;
}

std::string vformatNarrow(fmt::string_view format, fmt::format_args args) {
    fmt::basic_memory_buffer<char, 500> buffer;
    fmt::vformat_to(fmt::appender(buffer), format, args);
    return fmt::to_string(buffer);
}

std::string utf8Of(const std::wstring& text) {
    return wstr::toUtf8(text);
}

} // namespace detail
