#include "auth_check.h"

#include <map>

#include <openssl/evp.h>

namespace vorn::testing {

namespace {

std::string decodeBase64(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return {};
    std::string out(text.size() / 4 * 3, '\0');
    const int length =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (length < 0)
        return {};
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t padding = 0;
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i)
        ++padding;
    out.resize(static_cast<std::size_t>(length) - padding);
    return out;
}

// name=value and name="value" pairs separated by commas; good enough for what clients send.
std::map<std::string, std::string> readParams(std::string_view text)
{
    std::map<std::string, std::string> params;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ','))
            ++i;
        const std::size_t nameStart = i;
        while (i < text.size() && text[i] != '=' && text[i] != ',')
            ++i;
        std::string name(text.substr(nameStart, i - nameStart));
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        if (i >= text.size() || text[i] != '=')
            break;
        ++i;
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                value += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != ' ')
                value += text[i++];
        }
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        params[name] = value;
    }
    return params;
}

} // namespace

bool equalsIgnoringCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(left[i])) != std::tolower(static_cast<unsigned char>(right[i])))
            return false;
    }
    return true;
}

std::string md5Hex(std::string_view text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

bool isValidBasicAuthorization(const std::string& header, const std::string& user, const std::string& password)
{
    constexpr std::string_view kPrefix = "Basic ";
    if (header.size() <= kPrefix.size() ||
        !equalsIgnoringCase(std::string_view(header).substr(0, kPrefix.size()), kPrefix))
        return false;
    return decodeBase64(std::string_view(header).substr(kPrefix.size())) == user + ":" + password;
}

bool isValidDigestAuthorization(const std::string& header, const std::string& method, const std::string& target,
                                const std::string& user, const std::string& password, const std::string& realm,
                                const std::set<std::string>& issuedNonces)
{
    constexpr std::string_view kPrefix = "Digest ";
    if (header.size() <= kPrefix.size() ||
        !equalsIgnoringCase(std::string_view(header).substr(0, kPrefix.size()), kPrefix))
        return false;
    std::map<std::string, std::string> params = readParams(std::string_view(header).substr(kPrefix.size()));
    if (params["username"] != user || params["realm"] != realm || params["uri"] != target ||
        !issuedNonces.contains(params["nonce"])) {
        return false;
    }
    const std::string ha1 = md5Hex(user + ":" + realm + ":" + password);
    const std::string ha2 = md5Hex(method + ":" + target);
    std::string expected;
    if (params["qop"].empty())
        expected = md5Hex(ha1 + ":" + params["nonce"] + ":" + ha2);
    else if (params["qop"] == "auth")
        expected = md5Hex(ha1 + ":" + params["nonce"] + ":" + params["nc"] + ":" + params["cnonce"] + ":auth:" + ha2);
    else
        return false;
    return params["response"] == expected;
}

} // namespace vorn::testing
