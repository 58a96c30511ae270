// The shared part's texts as Qt shows them: UTF-8 (the uploader's own texts
// and messages) and UTF-16 (the library's texts, converted from Windows-1252).
#pragma once

#include <QString>

#include <string>
#include <string_view>

inline QString QtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QString QtText(const std::u16string &utf16) {
    return QString::fromStdU16String(utf16);
}
