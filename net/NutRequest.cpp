#include "net/NutRequest.h"

namespace corvolt::net {

SplitResult splitRequest(std::string_view line) {
    SplitResult r;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() > kMaxRequestLine) {
        r.error = SplitError::TooLong;
        return r;
    }
    std::string word;
    bool inWord = false, quoted = false, escaped = false;
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) {
            r.error = SplitError::BadByte;
            r.words.clear();
            return r;
        }
        if (escaped) {
            word += c;
            escaped = false;
        } else if (quoted) {
            if (c == '\\')
                escaped = true;
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                r.words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            quoted = inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted || escaped) {
        r.error = SplitError::UnbalancedQuote;
        r.words.clear();
        return r;
    }
    if (inWord)
        r.words.push_back(std::move(word));
    return r;
}

} // namespace corvolt::net
