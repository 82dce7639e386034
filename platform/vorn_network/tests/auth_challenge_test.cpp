#include <vorn/network/http/auth_challenge.h>

#include <gtest/gtest.h>

namespace vorn::network::http {
namespace {

using Params = std::map<std::string, std::string>;

TEST(AuthChallenge, DigestChallengeParameters)
{
    struct Row
    {
        const char* name;
        std::string header;
        bool accepted;
        Params expected;
    };
    const Row rows[] = {
        {"RFC 2617 example",
         R"(Digest realm="testrealm@host.com", qop="auth,auth-int", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", )"
         R"(opaque="5ccc069c403ebaf9f0171e9517f40e41")",
         true,
         {{"realm", "testrealm@host.com"},
          {"qop", "auth,auth-int"},
          {"nonce", "dcd98b7102dd2f0e8b11d0f600bfb0c093"},
          {"opaque", "5ccc069c403ebaf9f0171e9517f40e41"}}},
        {"unquoted values, names in any case",
         "digest Realm=cam, NONCE=abc123, algorithm=MD5, stale=FALSE",
         true,
         {{"realm", "cam"}, {"nonce", "abc123"}, {"algorithm", "MD5"}, {"stale", "FALSE"}}},
        {"comma and escapes inside quotes",
         R"(Digest realm="a, \"b\" \\ c", nonce="n")",
         true,
         {{"realm", R"(a, "b" \ c)"}, {"nonce", "n"}}},
        {"blanks around '=' and empty list items",
         "Digest  realm = \"r\" ,, nonce=\"n\" ,",
         true,
         {{"realm", "r"}, {"nonce", "n"}}},
        {"empty quoted value", R"(Digest realm="", nonce="n")", true, {{"realm", ""}, {"nonce", "n"}}},
        {"first of a repeated parameter", R"(Digest nonce="1", nonce="2")", true, {{"nonce", "1"}}},
        {"missing fields are the caller's concern", "Digest realm=\"r\"", true, {{"realm", "r"}}},
        {"no parameters", "Digest", true, {}},
        {"after a Basic challenge",
         R"(Basic realm="b", Digest realm="d", nonce="n")",
         true,
         {{"realm", "d"}, {"nonce", "n"}}},
        {"before a Basic challenge",
         R"(Digest realm="d", nonce="n", Basic realm="b")",
         true,
         {{"realm", "d"}, {"nonce", "n"}}},
        {"Basic only", R"(Basic realm="b")", false, {}},
        {"empty", "", false, {}},
        {"blanks only", "  \t ", false, {}},
        {"unterminated quote", R"(Digest realm="r, nonce="n)", false, {}},
        {"escape at the very end", "Digest realm=\"r\\", false, {}},
        {"value missing", "Digest realm=, nonce=n", false, {}},
        {"two tokens without comma", "Digest realm=r nonce=n", false, {}},
        {"stray character after scheme", "Digest\"realm=r", false, {}},
        {"stray '='", "Digest =x", false, {}},
        {"nul byte", std::string("Digest realm=r\0x", 16), false, {}},
        {"binary garbage", "\x01\xff\x80=\"", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Params params;
        EXPECT_EQ(parseDigestChallenge(row.header, &params), row.accepted);
        if (row.accepted) {
            EXPECT_EQ(params, row.expected);
        }
    }
}

TEST(AuthChallenge, SeveralChallengesAndToken68)
{
    std::vector<AuthChallenge> challenges;
    ASSERT_TRUE(parseAuthChallenges(R"(Negotiate YII+/a==, Basic realm="x", Bearer)", &challenges));
    ASSERT_EQ(challenges.size(), 3u);
    EXPECT_EQ(challenges[0].scheme, "Negotiate");
    EXPECT_EQ(challenges[0].token68, "YII+/a==");
    EXPECT_TRUE(challenges[0].params.empty());
    EXPECT_EQ(challenges[1].scheme, "Basic");
    EXPECT_EQ(challenges[1].params, (Params{{"realm", "x"}}));
    EXPECT_EQ(challenges[2].scheme, "Bearer");

    EXPECT_FALSE(parseAuthChallenges("Basic realm=\"x\"", nullptr));
}

} // namespace
} // namespace vorn::network::http
