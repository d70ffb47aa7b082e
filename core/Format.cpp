#include "core/Format.h"

#include "core/Wstr.h"

#include <iterator>
#include <utf8.h>

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

std::wstring widenNarrow(std::string_view bytes) {
    if (utf8::is_valid(bytes.begin(), bytes.end())) {
        std::wstring wide;
        utf8::unchecked::utf8to32(bytes.begin(), bytes.end(), std::back_inserter(wide));
        return wide;
    }
    std::wstring wide;
    wide.reserve(bytes.size());
    for (char byte : bytes)
        wide.push_back(static_cast<unsigned char>(byte));
    return wide;
}

} // namespace detail
