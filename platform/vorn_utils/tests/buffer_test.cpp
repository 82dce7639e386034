#include <vorn/utils/buffer.h>

#include <stdexcept>
#include <string>

#include <QtCore/QByteArray>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using namespace std::string_view_literals;

TEST(BasicBuffer, StartsAndClearsToTheInlineStore)
{
    Buffer buffer;
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.capacity(), 40u);

    buffer.reserve(4096);
    buffer.append("abc"sv);
    buffer.clear();
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.capacity(), 40u); // The reservation is gone too.
}

TEST(BasicBuffer, ReserveAndResize)
{
    Buffer buffer("0123456789"sv);
    buffer.reserve(16);
    EXPECT_EQ(buffer.capacity(), 40u); // Already enough.

    buffer.reserve(4096);
    EXPECT_EQ(buffer.capacity(), 4096u);
    EXPECT_EQ(buffer, "0123456789"sv);

    buffer.resize(13, 'x');
    EXPECT_EQ(buffer, "0123456789xxx"sv);
    buffer.resize(4);
    EXPECT_EQ(buffer, "0123"sv);
    EXPECT_EQ(buffer.capacity(), 4096u);

    // Growing by appends keeps every byte.
    Buffer grown;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string piece = std::to_string(i) + ",";
        grown.append(piece);
        expected += piece;
    }
    EXPECT_EQ(grown, expected);
}

TEST(BasicBuffer, Erase)
{
    struct Row
    {
        const char* name;
        std::size_t pos;
        std::size_t count;
        std::string_view expected;
    };
    const Row rows[] = {
        {"prefix", 0, 2, "cdef"},
        {"middle", 2, 2, "abef"},
        {"to the end", 3, Buffer::npos, "abc"},
        {"count past the end", 4, 100, "abcd"},
        {"count 0", 1, 0, "abcdef"},
        {"at the end", 6, 1, "abcdef"},
        {"everything", 0, Buffer::npos, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Buffer buffer("abcdef"sv);
        buffer.erase(row.pos, row.count);
        EXPECT_EQ(buffer, row.expected);
    }

    Buffer buffer("abcdef"sv);
    try {
        buffer.erase(7, 1);
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "Index 7 is out of BasicBuffer of size 6");
    }
    EXPECT_EQ(buffer, "abcdef"sv);
}

TEST(BasicBuffer, ErasingFramesFromTheFrontMovesNoBytesAndReusesTheStore)
{
    Buffer buffer;
    buffer.reserve(100);
    buffer.append(std::string(60, 'a') + std::string(40, 'b'));
    const char* const start = buffer.data();

    buffer.erase(0, 60);
    EXPECT_EQ(buffer.data(), start + 60);
    EXPECT_EQ(buffer, std::string(40, 'b'));
    EXPECT_EQ(buffer.capacity(), 100u);

    // There is room for 60 more bytes: they fit without growing, behind the moved-down rest.
    buffer.append(std::string(60, 'c'));
    EXPECT_EQ(buffer.capacity(), 100u);
    EXPECT_EQ(buffer, std::string(40, 'b') + std::string(60, 'c'));
    EXPECT_EQ(buffer.data(), start);

    buffer.erase(0, 100);
    EXPECT_EQ(buffer.data(), start);
}

TEST(BasicBuffer, SpareRoomTakesReadsWithoutGrowing)
{
    Buffer buffer;
    buffer.reserve(64);
    buffer.append("0123456789"sv);
    const char* const start = buffer.data();
    buffer.erase(0, 4);

    const std::span<char> spare = buffer.spareRoom(); // Moves the rest down first.
    EXPECT_EQ(buffer.data(), start);
    ASSERT_EQ(spare.size(), 64u - 6u);
    EXPECT_EQ(spare.data(), buffer.data() + 6);
    spare[0] = 'x';
    spare[1] = 'y';
    buffer.commitSpare(2);
    EXPECT_EQ(buffer, "456789xy"sv);
    EXPECT_EQ(buffer.capacity(), 64u);

    EXPECT_THROW(buffer.commitSpare(64u - 8u + 1u), std::out_of_range);
    EXPECT_EQ(buffer, "456789xy"sv);
}

TEST(BasicBuffer, CopiesAndMoves)
{
    for (const std::size_t length : {5u, 400u}) { // The inline store and a std::string store.
        SCOPED_TRACE(length);
        const std::string content(length, 'q');
        Buffer original(content);

        Buffer copy(original);
        copy[0] = 'z';
        EXPECT_EQ(original, content);

        Buffer moved(std::move(original));
        EXPECT_EQ(moved, content);
        EXPECT_TRUE(original.empty());
        EXPECT_EQ(original.capacity(), 40u);

        Buffer assigned("old"sv);
        assigned = std::move(moved);
        EXPECT_EQ(assigned, content);
        assigned = copy;
        EXPECT_EQ(assigned, copy);
        const auto& self = assigned;
        assigned = self;
        EXPECT_EQ(assigned, copy);
    }
}

TEST(BasicBuffer, AppendsItsOwnContent)
{
    Buffer buffer("abcdefghij"sv);
    for (int i = 0; i < 4; ++i)
        buffer.append(buffer.data(), buffer.size()); // Grows past the inline store on the way.
    EXPECT_EQ(buffer.size(), 160u);
    EXPECT_EQ(buffer.view().substr(150), "abcdefghij"sv);
}

TEST(BasicBuffer, TakesStringsAndByteArraysInAndOutWithoutCopies)
{
    std::string text(1000, 's');
    const char* const textBytes = text.data();
    Buffer fromString(std::move(text));
    EXPECT_EQ(fromString.data(), textBytes);
    fromString.erase(0, 10);
    std::string back = fromString.takeStdString();
    EXPECT_EQ(back.data(), textBytes);
    EXPECT_EQ(back, std::string(990, 's'));
    EXPECT_TRUE(fromString.empty());

    QByteArray bytes(1000, 'b');
    const char* const arrayBytes = bytes.constData();
    Buffer fromArray(std::move(bytes));
    EXPECT_EQ(fromArray.data(), arrayBytes);
    QByteArray array = fromArray.takeByteArray();
    EXPECT_EQ(array.constData(), arrayBytes);
    EXPECT_EQ(array, QByteArray(1000, 'b'));

    // An array shared with another one is copied on the way in, so writing never reaches the other.
    const QByteArray shared(100, 'o');
    Buffer fromShared{QByteArray(shared)};
    fromShared[0] = 'X';
    EXPECT_EQ(shared, QByteArray(100, 'o'));

    // The other way round, a copy.
    Buffer inlineBytes("tiny"sv);
    EXPECT_EQ(inlineBytes.toByteArray(), QByteArray("tiny"));
    EXPECT_EQ(inlineBytes.takeStdString(), "tiny");
}

} // namespace
} // namespace vorn
