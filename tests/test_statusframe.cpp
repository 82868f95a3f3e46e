#include "link/StatusFrame.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Block = std::vector<std::uint8_t>;

TEST(FrameWord, WeightIs255AndRangeEndsAt32767) {
    struct Row {
        int high, low;
        std::optional<int> word;
    };
    const Row rows[] = {
        {0, 0, 0},
        {1, 0, 255},
        {0, 255, 255},
        {65, 92, 16667},
        {78, 110, 20000},
        {46, 196, 11926},
        {127, 255, 32640},
        {128, 127, 32767},
        {128, 128, std::nullopt},
        {129, 0, std::nullopt},
        {255, 255, std::nullopt},
    };
    for (const Row& row : rows) {
        const auto word = FrameWord(row.high, row.low);
        ASSERT_EQ(word.has_value(), row.word.has_value()) << row.high << "," << row.low;
        if (word) {
            EXPECT_EQ(*word, *row.word) << row.high << "," << row.low;
        }
    }
}

TEST(FrameWord, EveryBytePairAgreesWithTheRangeRule) {
    for (int high = 0; high < 256; ++high)
        for (int low = 0; low < 256; ++low) {
            const bool inRange = high <= 127 || (high == 128 && low <= 127);
            EXPECT_EQ(FrameWord(high, low).has_value(), inRange) << high << "," << low;
        }
}

TEST(DecodeFrame, ReadsTheFieldsOfTheExampleFrame) {
    const auto frame =
        DecodeFrame(Block({0x26, 0x26, 0x26, 0x2E, 0xC4, 0xD4, 0x41, 0x5C, 0x30, 0x30}));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->VoltageWord, 11926);
    EXPECT_EQ(frame->BatteryByte, 212);
    EXPECT_EQ(frame->PeriodWord, 16667);
    EXPECT_EQ(frame->RegulationChar, '0');
    EXPECT_EQ(frame->AlarmChar, '0');
}

TEST(DecodeFrame, RejectsBadHeadersAndShortBlocks) {
    EXPECT_FALSE(DecodeFrame(Block({0x26, 0x26, 0x25, 0, 0, 0, 0, 0, 0x30, 0x30})));
    EXPECT_FALSE(DecodeFrame(Block({0x25, 0x26, 0x26, 0, 0, 0, 0, 0, 0x30, 0x30})));
    EXPECT_FALSE(DecodeFrame(Block({0x26, 0x26, 0x26, 0, 0, 0, 0, 0, 0x30})));
    EXPECT_FALSE(DecodeFrame(Block({0x26, 0x26, 0x26})));
    EXPECT_FALSE(DecodeFrame(Block()));
}

TEST(DecodeFrame, IgnoresBytesAfterTheTenth) {
    Block block = Block({0x26, 0x26, 0x26, 1, 0, 9, 78, 110, 0x31, 0x32});
    block.insert(block.end(), 15, 0xff);
    const auto frame = DecodeFrame(block);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->VoltageWord, 255);
    EXPECT_EQ(frame->BatteryByte, 9);
    EXPECT_EQ(frame->PeriodWord, 20000);
    EXPECT_EQ(frame->RegulationChar, '1');
    EXPECT_EQ(frame->AlarmChar, '2');
}

TEST(DecodeFrame, OutOfRangeWordsAreEmptyButTheRestIsDecoded) {
    const auto frame = DecodeFrame(Block({0x26, 0x26, 0x26, 200, 0, 7, 129, 0, 0x32, 0x31}));
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->VoltageWord);
    EXPECT_FALSE(frame->PeriodWord);
    EXPECT_EQ(frame->BatteryByte, 7);
    EXPECT_EQ(frame->RegulationChar, '2');
    EXPECT_EQ(frame->AlarmChar, '1');
}

} // namespace
