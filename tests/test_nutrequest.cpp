#include "net/NutRequest.h"

#include <gtest/gtest.h>

using corvolt::net::SplitError;
using corvolt::net::splitRequest;

TEST(NutRequest, SplitsLinesAndRefusesBadInput) {
    struct Case {
        std::string line;
        SplitError error;
        std::vector<std::string> words;
    };
    const std::vector<Case> cases = {
        {"LIST VAR corvolt", SplitError::None, {"LIST", "VAR", "corvolt"}},
        {"GET VAR corvolt ups.status\r", SplitError::None, {"GET", "VAR", "corvolt", "ups.status"}},
        {"  USERNAME\t mon  ", SplitError::None, {"USERNAME", "mon"}},
        {"PASSWORD \"a b\\\"c\"", SplitError::None, {"PASSWORD", "a b\"c"}},
        {"PASSWORD \"\"", SplitError::None, {"PASSWORD", ""}},
        {"", SplitError::None, {}},
        {"PASSWORD \"open", SplitError::UnbalancedQuote, {}},
        {"PASSWORD \"ends\\", SplitError::UnbalancedQuote, {}},
        {std::string("GET\0VAR", 7), SplitError::BadByte, {}},
        {"\x01\x02\x7f", SplitError::BadByte, {}},
        {std::string(513, 'A'), SplitError::TooLong, {}},
    };
    for (const auto& c : cases) {
        const auto r = splitRequest(c.line);
        EXPECT_EQ(r.error, c.error) << c.line;
        EXPECT_EQ(r.words, c.words) << c.line;
    }
    EXPECT_EQ(splitRequest(std::string(512, 'A')).words.size(), 1u);
}
