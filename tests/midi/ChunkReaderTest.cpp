#include "midi/ChunkReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

namespace {

std::span<const unsigned char> asBytes(const std::string& data)
{
    return {reinterpret_cast<const unsigned char*>(data.data()), data.size()};
}

// Variable-length quantities: seven bits a byte, high bit set on all but
// the last, wrapping modulo 2^32; one cut short by the end reads nothing.
TEST(ChunkReaderTest, VariableLengthQuantities)
{
    const struct {
        std::string bytes;
        bool whole;
        std::uint32_t value;
        std::uint32_t consumed;
    } cases[] = {
        {std::string(1, '\0'), true, 0, 1},
        {"\x7f", true, 127, 1},
        {std::string("\x81\x00", 2), true, 128, 2},
        {"\xff\xff\xff\x7f", true, 0x0FFFFFFF, 4},
        {"\x8f\xff\xff\xff\x7f", true, 0xFFFFFFFF, 5},
        {"\x81\x80\x80\x80\x80\x01", true, 1, 6}, // the high bits fall off
        {"\x81\x82", false, 0, 2},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        ByteReader in(asBytes(c.bytes));
        ChunkReader reader(in);
        std::uint32_t value = 12345;
        EXPECT_EQ(reader.vlq(value), c.whole) << testing::PrintToString(c.bytes);
        if (c.whole) {
            EXPECT_EQ(value, c.value) << testing::PrintToString(c.bytes);
        }
        EXPECT_EQ(reader.consumed, c.consumed) << testing::PrintToString(c.bytes);
    }
}

// Skips and texts take what the input holds and count it; a text keeps what
// stands before its first zero byte, across the reader's blocks.
TEST(ChunkReaderTest, SkipsAndTextsCountWhatTheyTake)
{
    const std::string big = std::string(5000, 'a') + std::string(1, '\0') + "tail";
    const struct {
        std::string bytes;
        std::uint32_t count;
        bool whole;
        std::string text;
        std::uint32_t consumed;
    } cases[] = {
        {"abcdef", 3, true, "abc", 3},
        {"abc", 5, false, "abc", 3},
        {std::string("ab\0cd", 5), 5, true, "ab", 5},
        {big, static_cast<std::uint32_t>(big.size()), true, std::string(5000, 'a'),
         static_cast<std::uint32_t>(big.size())},
        {"ab", 0xFFFFFFFF, false, "ab", 2},
    };
    for (const auto& c : cases) {
        {
            ByteReader in(asBytes(c.bytes));
            ChunkReader reader(in);
            std::string text = "old";
            EXPECT_EQ(reader.text(c.count, text), c.whole) << c.count;
            EXPECT_EQ(text, c.text) << c.count;
            EXPECT_EQ(reader.consumed, c.consumed) << c.count;
        }
        ByteReader in(asBytes(c.bytes));
        ChunkReader reader(in);
        EXPECT_EQ(reader.skip(c.count), c.whole) << c.count;
        EXPECT_EQ(reader.consumed, c.consumed) << c.count;
    }
}

TEST(ChunkReaderTest, SteppingBackRereadsTheByte)
{
    const std::string data = "\x90\x3c";
    ByteReader in(asBytes(data));
    ChunkReader reader(in);
    int b = 0;
    ASSERT_TRUE(reader.byte(b));
    reader.stepBack();
    EXPECT_EQ(reader.consumed, 0u);
    ASSERT_TRUE(reader.byte(b));
    EXPECT_EQ(b, 0x90);
    ASSERT_TRUE(reader.byte(b));
    EXPECT_EQ(b, 0x3c);
    EXPECT_FALSE(reader.byte(b));
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.consumed, 2u);
}

} // namespace
