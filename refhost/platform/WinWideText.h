// UTF-8 text to and from the UTF-16 of the Windows API's wide calls: the
// reference host and the command hold every path and message in UTF-8.
// Windows only; text that does not convert comes back empty.
#pragma once

#include <windows.h>

#include <string>

namespace refhost {

inline std::wstring wideText(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(size_t(length > 0 ? length : 1), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), length);
    result.resize(result.size() - 1);
    return result;
}

inline std::string narrowText(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(length > 0 ? length : 1), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), length, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

} // namespace refhost
