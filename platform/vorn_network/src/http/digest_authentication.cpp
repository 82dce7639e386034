#include <vorn/network/http/digest_authentication.h>

#include <QtCore/QByteArray>
#include <QtCore/QCryptographicHash>
#include <QtCore/QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <ostream> // Boost 1.81 string_view streams into std::ostream without including it

#include <boost/beast/core/string.hpp>

namespace vorn::network::http {

namespace {

std::string md5Hex(const std::string& text)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

std::string valueOf(const std::map<std::string, std::string>& params, const std::string& name)
{
    const auto found = params.find(name);
    return found != params.end() ? found->second : std::string();
}

// Whether the comma-separated qop list names "auth" (and not only "auth-int", which needs the body hash).
bool offersAuthQop(const std::string& qopList)
{
    std::size_t start = 0;
    while (start <= qopList.size()) {
        std::size_t end = qopList.find(',', start);
        if (end == std::string::npos)
            end = qopList.size();
        std::string_view item(qopList.data() + start, end - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (boost::beast::iequals(boost::beast::string_view(item.data(), item.size()), "auth"))
            return true;
        start = end + 1;
    }
    return false;
}

// A nonce count as RFC 2617 writes it: eight hexadecimal digits. It goes into the header as a token, so
// anything else (a comma, a quote, a control character from the camera's words) must not reach it.
bool isNonceCount(const std::string& text)
{
    return text.size() == 8 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string randomClientNonce()
{
    const quint64 value = QRandomGenerator::system()->generate64();
    return QByteArray::number(value, 16).rightJustified(16, '0').toStdString();
}

std::string quoted(const std::string& value)
{
    std::string result = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + "\"";
}

} // namespace

bool calcDigestResponse(const std::string& method, const std::string& userName,
                        const std::optional<std::string>& userPassword, const std::optional<std::string>& ha1,
                        const std::string& uri, const std::map<std::string, std::string>& challenge,
                        std::map<std::string, std::string>* answer)
{
    if (!answer)
        return false;
    answer->clear();

    const std::string nonce = valueOf(challenge, "nonce");
    if (nonce.empty() || (!userPassword && !ha1))
        return false;

    const std::string algorithm = valueOf(challenge, "algorithm");
    const bool isSessionAlgorithm = boost::beast::iequals(algorithm, "MD5-sess");
    if (!algorithm.empty() && !isSessionAlgorithm && !boost::beast::iequals(algorithm, "MD5"))
        return false;

    const std::string qopList = valueOf(challenge, "qop");
    const bool useQop = !qopList.empty();
    if (useQop && !offersAuthQop(qopList))
        return false;

    const std::string realm = valueOf(challenge, "realm");
    std::string cnonce = valueOf(challenge, "cnonce");
    if (cnonce.empty())
        cnonce = randomClientNonce();
    std::string nc = valueOf(challenge, "nc");
    if (!isNonceCount(nc))
        nc = "00000001";

    std::string hashA1 = ha1 ? *ha1 : md5Hex(userName + ":" + realm + ":" + *userPassword);
    if (isSessionAlgorithm)
        hashA1 = md5Hex(hashA1 + ":" + nonce + ":" + cnonce);
    const std::string hashA2 = md5Hex(method + ":" + uri);
    const std::string response = useQop ? md5Hex(hashA1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + hashA2)
                                        : md5Hex(hashA1 + ":" + nonce + ":" + hashA2);

    (*answer)["username"] = userName;
    (*answer)["realm"] = realm;
    (*answer)["nonce"] = nonce;
    (*answer)["uri"] = uri;
    (*answer)["response"] = response;
    if (!algorithm.empty())
        (*answer)["algorithm"] = algorithm;
    const std::string opaque = valueOf(challenge, "opaque");
    if (!opaque.empty())
        (*answer)["opaque"] = opaque;
    if (useQop || isSessionAlgorithm)
        (*answer)["cnonce"] = cnonce;
    if (useQop) {
        (*answer)["qop"] = "auth";
        (*answer)["nc"] = nc;
    }
    return true;
}

std::string makeDigestAuthorization(const std::map<std::string, std::string>& answer)
{
    // RFC 2617 writes these three as tokens; every other parameter as a quoted string.
    static const char* const kUnquoted[] = {"algorithm", "qop", "nc"};
    static const char* const kOrder[] = {"username",  "realm", "nonce", "uri",    "response",
                                         "algorithm", "qop",   "nc",    "cnonce", "opaque"};

    std::string header = "Digest ";
    bool first = true;
    const auto append = [&](const std::string& name, const std::string& value) {
        bool isToken = false;
        for (const char* unquoted : kUnquoted)
            isToken = isToken || name == unquoted;
        header += first ? "" : ", ";
        header += name + "=" + (isToken ? value : quoted(value));
        first = false;
    };
    for (const char* name : kOrder) {
        const auto found = answer.find(name);
        if (found != answer.end())
            append(found->first, found->second);
    }
    for (const auto& [name, value] : answer) {
        bool known = false;
        for (const char* ordered : kOrder)
            known = known || name == ordered;
        if (!known)
            append(name, value);
    }
    return header;
}

std::string makeBasicAuthorization(const Credentials& credentials)
{
    const QByteArray pair = QByteArray::fromStdString(credentials.username + ":" + credentials.password);
    return "Basic " + pair.toBase64().toStdString();
}

} // namespace vorn::network::http
