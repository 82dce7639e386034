#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/uuid.h>

namespace vorn::sdk::test {
namespace {

Uuid sampleId()
{
    Uuid id;
    const uint8_t bytes[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                               0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    std::copy(std::begin(bytes), std::end(bytes), id.bytes.begin());
    return id;
}

TEST(Uuid, FormatFollowsTheFlags)
{
    struct Row
    {
        int32_t flags;
        const char* expected;
    };
    const std::vector<Row> rows{
        {0, "0123456789abcdeffedcba9876543210"},
        {kUuidUpperCase, "0123456789ABCDEFFEDCBA9876543210"},
        {kUuidHyphens, "01234567-89ab-cdef-fedc-ba9876543210"},
        {kUuidBraces, "{0123456789abcdeffedcba9876543210}"},
        {kUuidUpperCase | kUuidHyphens | kUuidBraces, "{01234567-89AB-CDEF-FEDC-BA9876543210}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        EXPECT_EQ(formatUuid(sampleId(), row.flags), row.expected);
    }
    EXPECT_EQ(formatUuid(Uuid(), 0), std::string(32, '0'));
}

TEST(Uuid, ParseAcceptsOnlySixteenHexPairs)
{
    const Uuid id = sampleId();
    const std::string digits = "0123456789abcdeffedcba9876543210";
    struct Row
    {
        const char* name;
        std::string text;
        bool valid;
    };
    std::vector<Row> rows;
    for (int32_t flags = 0; flags <= 7; ++flags)
        rows.push_back({"formatted", formatUuid(id, flags), true});
    const std::vector<Row> more{
        {"separators anywhere", " {\t0123-4567\n89ab\rcdef fedc-ba98-7654-3210} ", true},
        {"mixed case", "0123456789ABCDEFfedcba9876543210", true},
        {"empty", "", false},
        {"31 digits", digits.substr(0, 31), false},
        {"31 digits padded to length", digits.substr(0, 31) + "{}", false},
        {"33 digits", digits + "0", false},
        {"non-hex character", "g" + digits.substr(1), false},
        {"sign inside a pair", "+f" + digits.substr(2), false},
        {"hex prefix inside a pair", "0x" + digits.substr(2), false},
        {"non-ASCII byte", "\xC3\xA9" + digits.substr(2), false},
        {"separator splits a pair", "0-" + digits.substr(1), true}, // separators are skipped anywhere
        {"16 bytes then one more digit", digits + "-f", false},
    };
    rows.insert(rows.end(), more.begin(), more.end());

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name + std::string(": ") + row.text);
        EXPECT_EQ(parseUuid(row.text), row.valid ? id : Uuid());
    }
}

TEST(Uuid, RandomIdsAreVersion4Variant1AndDistinct)
{
    std::set<Uuid> seen;
    for (int i = 0; i < 200; ++i) {
        const Uuid id = makeRandomUuid();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] >> 6, 0b10);
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_EQ(parseUuid(formatUuid(id, kUuidHyphens)), id);
    }
}

TEST(Uuid, RandomIdsFromManyThreadsAreDistinct)
{
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::vector<Uuid>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&results, t] {
            for (int i = 0; i < kPerThread; ++i)
                results[t].push_back(makeRandomUuid());
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::set<Uuid> all;
    for (const auto& ids : results)
        all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), size_t{kThreads * kPerThread});
}

} // namespace
} // namespace vorn::sdk::test
