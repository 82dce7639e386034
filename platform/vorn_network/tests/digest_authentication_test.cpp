#include <vorn/network/http/digest_authentication.h>

#include <gtest/gtest.h>

#include <vorn/network/http/auth_challenge.h>

namespace vorn::network::http {
namespace {

using Params = std::map<std::string, std::string>;

// The worked example of RFC 2617, section 3.5.
const Params kRfcChallenge = {
    {"realm", "testrealm@host.com"},
    {"qop", "auth,auth-int"},
    {"nonce", "dcd98b7102dd2f0e8b11d0f600bfb0c093"},
    {"opaque", "5ccc069c403ebaf9f0171e9517f40e41"},
    {"cnonce", "0a4f113b"},
    {"nc", "00000001"},
};

TEST(DigestAuthentication, MatchesTheRfc2617Example)
{
    Params answer;
    ASSERT_TRUE(
        calcDigestResponse("GET", "Mufasa", "Circle Of Life", std::nullopt, "/dir/index.html", kRfcChallenge, &answer));
    EXPECT_EQ(answer, (Params{{"username", "Mufasa"},
                              {"realm", "testrealm@host.com"},
                              {"nonce", "dcd98b7102dd2f0e8b11d0f600bfb0c093"},
                              {"uri", "/dir/index.html"},
                              {"response", "6629fae49393a05397450978507c4ef1"},
                              {"opaque", "5ccc069c403ebaf9f0171e9517f40e41"},
                              {"qop", "auth"},
                              {"nc", "00000001"},
                              {"cnonce", "0a4f113b"}}));

    // The same answer from the precomputed MD5("Mufasa:testrealm@host.com:Circle Of Life").
    Params fromHash;
    ASSERT_TRUE(calcDigestResponse("GET", "Mufasa", std::nullopt, "939e7578ed9e3c518a452acee763bce9", "/dir/index.html",
                                   kRfcChallenge, &fromHash));
    EXPECT_EQ(fromHash, answer);

    EXPECT_EQ(makeDigestAuthorization(answer),
              R"(Digest username="Mufasa", realm="testrealm@host.com", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", )"
              R"(uri="/dir/index.html", response="6629fae49393a05397450978507c4ef1", qop=auth, nc=00000001, )"
              R"(cnonce="0a4f113b", opaque="5ccc069c403ebaf9f0171e9517f40e41")");
}

TEST(DigestAuthentication, ChallengeVariants)
{
    // Expected responses computed separately from the RFC 2617 formulas.
    struct Row
    {
        const char* name;
        std::string method;
        Params changes; // applied to the RFC example challenge; an empty value removes the parameter
        std::string response;
        bool hasQop;
    };
    const Row rows[] = {
        {"no qop: RFC 2069 form", "GET", {{"qop", ""}}, "670fd8c2df070c60b045671b8b24ff02", false},
        {"qop auth alone", "GET", {{"qop", "auth"}}, "6629fae49393a05397450978507c4ef1", true},
        {"qop list with blanks", "GET", {{"qop", "auth-int , auth"}}, "6629fae49393a05397450978507c4ef1", true},
        {"algorithm MD5 named", "GET", {{"algorithm", "MD5"}}, "6629fae49393a05397450978507c4ef1", true},
        {"MD5-sess", "GET", {{"algorithm", "MD5-sess"}}, "8e3825c57e897f5a0dec6c2d4e5059d0", true},
        {"method enters the hash", "POST", {}, "440c5a7b9ed304fecd2ddd39c9c7b726", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Params challenge = kRfcChallenge;
        for (const auto& [name, value] : row.changes) {
            if (value.empty())
                challenge.erase(name);
            else
                challenge[name] = value;
        }
        Params answer;
        ASSERT_TRUE(calcDigestResponse(row.method, "Mufasa", "Circle Of Life", std::nullopt, "/dir/index.html",
                                       challenge, &answer));
        EXPECT_EQ(answer["response"], row.response);
        EXPECT_EQ(answer.contains("qop"), row.hasQop);
        EXPECT_EQ(answer.contains("nc"), row.hasQop);
    }
}

TEST(DigestAuthentication, RefusesWhatItCannotAnswer)
{
    struct Row
    {
        const char* name;
        Params challenge;
        std::optional<std::string> password;
    };
    const Row rows[] = {
        {"no nonce", {{"realm", "r"}, {"qop", "auth"}}, "p"},
        {"empty nonce", {{"realm", "r"}, {"nonce", ""}}, "p"},
        {"only auth-int offered", {{"realm", "r"}, {"nonce", "n"}, {"qop", "auth-int"}}, "p"},
        {"unknown algorithm", {{"realm", "r"}, {"nonce", "n"}, {"algorithm", "SHA-256"}}, "p"},
        {"neither password nor hash", {{"realm", "r"}, {"nonce", "n"}}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Params answer = {{"stale", "entry"}};
        EXPECT_FALSE(calcDigestResponse("GET", "u", row.password, std::nullopt, "ipcsdk", row.challenge, &answer));
        EXPECT_TRUE(answer.empty());
    }
    EXPECT_FALSE(calcDigestResponse("GET", "u", "p", std::nullopt, "ipcsdk", {{"nonce", "n"}}, nullptr));
}

TEST(DigestAuthentication, FreshClientNonceUnlessGiven)
{
    const Params challenge = {{"realm", "r"}, {"nonce", "n"}, {"qop", "auth"}};
    Params first, second;
    ASSERT_TRUE(calcDigestResponse("GET", "u", "p", std::nullopt, "ipcsdk", challenge, &first));
    ASSERT_TRUE(calcDigestResponse("GET", "u", "p", std::nullopt, "ipcsdk", challenge, &second));
    EXPECT_EQ(first["cnonce"].size(), 16u);
    EXPECT_NE(first["cnonce"], second["cnonce"]);
    EXPECT_NE(first["response"], second["response"]);
    EXPECT_EQ(first["nc"], "00000001");
}

TEST(DigestAuthentication, NonceCountFromTheChallengeOnlyWhenItIsEightHexDigits)
{
    // The count is written as a token: a camera's words in it could end the value and add parameters.
    const struct
    {
        std::string given;
        std::string used;
    } rows[] = {
        {"0000000a", "0000000a"},
        {"DEADBEEF", "DEADBEEF"},
        {"1, response=\"forged\"", "00000001"},
        {std::string("n\x03\x03\x03"), "00000001"},
        {"0000000g", "00000001"},
        {"0000001", "00000001"},
        {"000000001", "00000001"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.given);
        Params answer;
        ASSERT_TRUE(calcDigestResponse("GET", "u", "p", std::nullopt, "/",
                                       {{"nonce", "n"}, {"qop", "auth"}, {"nc", row.given}}, &answer));
        EXPECT_EQ(answer["nc"], row.used);
        Params reread;
        ASSERT_TRUE(parseDigestChallenge(makeDigestAuthorization(answer), &reread));
        EXPECT_EQ(reread, answer);
    }
}

TEST(DigestAuthentication, HeaderValuesQuoteAndEscape)
{
    const std::string header = makeDigestAuthorization({{"username", R"(we"ird\user)"},
                                                        {"realm", "r"},
                                                        {"nonce", "n"},
                                                        {"uri", "/"},
                                                        {"response", "x"},
                                                        {"algorithm", "MD5"},
                                                        {"userhash", "false"}});
    EXPECT_EQ(header, R"(Digest username="we\"ird\\user", realm="r", nonce="n", uri="/", response="x", algorithm=MD5, )"
                      R"(userhash="false")");

    EXPECT_EQ(makeBasicAuthorization(Credentials("Aladdin", "open sesame")), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(makeBasicAuthorization(Credentials("user", "p:ss")), "Basic dXNlcjpwOnNz");
}

} // namespace
} // namespace vorn::network::http
