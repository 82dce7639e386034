// The "WWW-Authenticate" challenge reader (vorn::network::http), which reads what a camera answers
// with its 401, and the digest answer built from the challenge.
//
// The answer's header is written from the camera's words (realm, nonce, opaque), so beyond "no crash":
// the "Authorization" value must read back, with the same reader, as the parameters it was made of,
// and a challenge without line breaks (all an HTTP header can carry) must not give an answer with one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/network/http/auth_challenge.h>
#include <vorn/network/http/digest_authentication.h>

#include "fuzz_support.h"

namespace http = vorn::network::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const std::string_view header(reinterpret_cast<const char*>(data), size);

    std::vector<http::AuthChallenge> challenges;
    static_cast<void>(http::parseAuthChallenges(header, &challenges));

    std::map<std::string, std::string> challenge;
    if (!http::parseDigestChallenge(header, &challenge))
        return 0;

    std::map<std::string, std::string> answer;
    if (!http::calcDigestResponse("GET", "admin", std::string("secret"), std::nullopt, "/cgi-bin/a.cgi", challenge,
                                  &answer)) {
        return 0;
    }
    const std::string authorization = http::makeDigestAuthorization(answer);
    if (header.find_first_of("\r\n") == std::string_view::npos &&
        authorization.find_first_of("\r\n") != std::string::npos) {
        std::abort(); // Unescaping made a line break that would end our header line.
    }

    std::map<std::string, std::string> reread;
    if (!http::parseDigestChallenge(authorization, &reread) || reread != answer)
        std::abort(); // The header does not say what the answer holds.
    return 0;
}
