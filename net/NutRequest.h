#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvolt::net {

// Longest request line a client may send, without its line feed.
constexpr std::size_t kMaxRequestLine = 512;

// Why a request line was refused before any command was looked at.
enum class SplitError { None, TooLong, BadByte, UnbalancedQuote };

struct SplitResult {
    std::vector<std::string> words;
    SplitError error = SplitError::None;
};

// Splits one request line (without its line feed; a trailing CR is dropped) into words.
// Words are separated by spaces or tabs; a word in double quotes may hold spaces, and a
// backslash inside quotes makes the next byte literal. NUL and other control bytes are refused.
SplitResult splitRequest(std::string_view line);

} // namespace corvolt::net
