// Formatting of the library's messages and log lines. The format strings are
// those of the decoder protocol's texts: "%d" decimal, "%u" unsigned, "%s" text,
// "%x"/"%X" upper-case hexadecimal, with optional flags ('-', '0'), width and
// precision ("%8.8x", "%4.4x"), and "%%".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class TFormatArg {
public:
    template <typename T>
    requires std::is_integral_v<T> TFormatArg(T v)
        : isText_(false), isSigned_(std::is_signed_v<T>), number_(static_cast<int64_t>(v)) {}
    template <typename T>
    requires std::is_enum_v<T> TFormatArg(T v) : TFormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
    TFormatArg(const char *s) : isText_(true), text_(s ? s : "") {}
    TFormatArg(std::string_view s) : isText_(true), text_(s) {}
    TFormatArg(const std::string &s) : isText_(true), text_(s) {}

    bool IsText() const { return isText_; }
    bool IsSigned() const { return isSigned_; }
    int64_t Number() const { return number_; }
    std::string_view Text() const { return text_; }

private:
    bool isText_;
    bool isSigned_ = false;
    int64_t number_ = 0;
    std::string_view text_;
};

std::string FormatArgs(std::string_view format, const std::vector<TFormatArg> &args);

template <typename... Args> std::string Format(std::string_view format, const Args &...args) {
    return FormatArgs(format, std::vector<TFormatArg>{TFormatArg(args)...});
}
