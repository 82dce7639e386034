// The fake server's own checks of "Authorization" headers. Written apart from the client's code (OpenSSL's
// MD5 and base64, a separate parameter reader), so that a mistake in the client cannot approve itself.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace vorn::testing {

bool equalsIgnoringCase(std::string_view left, std::string_view right);

std::string md5Hex(std::string_view text);

// "Basic <base64 of user:password>".
bool isValidBasicAuthorization(const std::string& header, const std::string& user, const std::string& password);

// "Digest ..." answering one of the issued nonces for this method and request target (RFC 2617, MD5, with or
// without qop "auth").
bool isValidDigestAuthorization(const std::string& header, const std::string& method, const std::string& target,
                                const std::string& user, const std::string& password, const std::string& realm,
                                const std::set<std::string>& issuedNonces);

} // namespace vorn::testing
