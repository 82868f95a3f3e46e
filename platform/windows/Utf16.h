#pragma once

#include <string>

// UTF-8, as the monitor's texts are, to and from the UTF-16 of the W functions.
std::wstring Utf16(const std::string& text);
std::string Utf8(const std::wstring& text);
