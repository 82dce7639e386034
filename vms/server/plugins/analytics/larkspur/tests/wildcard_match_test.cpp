#include <random>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/wildcard_match.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

struct MatchRow
{
    const char* name;
    const char* pattern;
    const char* text;
    bool caseInsensitive;
    bool expected;
};

TEST(WildcardMatch, Table)
{
    const MatchRow rows[] = {
        {"vendor exact", "Zodivadad*", "Zodivadad", true, true},
        {"vendor upper case", "Zodivadad*", "ZODIVADAD", true, true},
        {"vendor lower case", "Zodivadad*", "zodivadad", true, true},
        {"vendor with suffix", "Zodivadad*", "Zodivadad Technology Co.", true, true},
        {"vendor prefix only", "Zodivadad*", "Zodiva", true, false},
        {"vendor after other text", "Zodivadad*", "The Zodivadad", true, false},
        {"case-sensitive differs", "Zodivadad*", "zodivadad", false, false},
        {"case-sensitive same", "Zodivadad*", "Zodivadad", false, true},
        {"star alone, text", "*", "anything at all", true, true},
        {"star alone, empty text", "*", "", true, true},
        {"stars only, empty text", "***", "", false, true},
        {"question mark any char", "?", "x", false, true},
        {"question mark never dot", "?", ".", false, false},
        {"question mark needs a char", "a?", "a", false, false},
        {"question mark one char only", "?", "xy", false, false},
        {"star between letters", "a*z", "a-middle-z", false, true},
        {"star between letters, nothing between", "a*z", "az", false, true},
        {"star between letters, wrong end", "a*z", "a-middle-y", false, false},
        {"empty pattern, empty text", "", "", false, true},
        {"empty pattern, text", "", "a", false, false},
        {"text longer than pattern", "abc", "abcd", false, false},
        {"pattern longer than text", "abcd", "abc", false, false},
        {"trailing stars after text", "abc**", "abc", false, true},
        {"wildcards in text are plain", "a\\*", "a\\*", false, true},
        {"star in text only matched by star or itself", "a", "*", false, false},
        {"backtrack to latest star", "*ab*ab", "xabyabab", false, true},
        {"backtrack fails", "*ab*abc", "xabyabab", false, false},
        {"star then question mark", "*?", "a", false, true},
        {"star then question mark over dot", "*?", "a.", false, false},
        {"question mark skips by star", "*.?", "a.b.c", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(wildcardMatch(row.pattern, row.text, row.caseInsensitive), row.expected);
    }
}

// The recursive reading of the rules: the reference that the linear match must agree with.
bool referenceMatch(const QString& pattern, int p, const QString& text, int t)
{
    while (t < text.size()) {
        if (p >= pattern.size())
            return false;
        if (pattern[p] == u'*') {
            if (p == pattern.size() - 1)
                return true;
            for (int from = t; from < text.size(); ++from) {
                if (referenceMatch(pattern, p + 1, text, from))
                    return true;
            }
            return false;
        }
        if (pattern[p] == u'?' ? text[t] == u'.' : pattern[p] != text[t])
            return false;
        ++p;
        ++t;
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

TEST(WildcardMatch, AgreesWithRecursiveRules)
{
    std::mt19937 random(20240611); // Fixed seed: the same cases on every run.
    const QString patternAlphabet = QStringLiteral("ab.*?");
    const QString textAlphabet = QStringLiteral("ab.*?");
    const auto randomText = [&](const QString& alphabet, int maxSize) {
        QString result;
        const int size = std::uniform_int_distribution<int>(0, maxSize)(random);
        for (int i = 0; i < size; ++i)
            result += alphabet[std::uniform_int_distribution<int>(0, alphabet.size() - 1)(random)];
        return result;
    };
    for (int i = 0; i < 20000; ++i) {
        const QString pattern = randomText(patternAlphabet, 7);
        const QString text = randomText(textAlphabet, 8);
        ASSERT_EQ(wildcardMatch(pattern, text, false), referenceMatch(pattern, 0, text, 0))
            << "pattern '" << pattern.toStdString() << "' text '" << text.toStdString() << "'";
    }
}

TEST(WildcardMatch, HostileTextStaysFast)
{
    // Many stars against a long text that almost matches: exponential for a naive recursive match.
    const QString pattern = QString("*a").repeated(30) + "b";
    const QString text = QString(100000, u'a');
    EXPECT_FALSE(wildcardMatch(pattern, text, false));
    EXPECT_TRUE(wildcardMatch(pattern, text + "b", false));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
