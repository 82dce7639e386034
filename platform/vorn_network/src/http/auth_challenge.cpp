#include <vorn/network/http/auth_challenge.h>

#include <ostream> // Boost 1.81 string_view streams into std::ostream without including it

#include <boost/beast/core/string.hpp>

namespace vorn::network::http {

namespace {

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isToken68Char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '+' || c == '/';
}

// A read position over the header text; every look goes through it, so nothing reads past the end.
class Cursor
{
public:
    explicit Cursor(std::string_view text)
        : m_text(text)
    {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; } // only when !atEnd()
    std::size_t position() const { return m_pos; }
    void rewind(std::size_t position) { m_pos = position; }
    void advance() { ++m_pos; }

    void skipSpaces()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t'))
            ++m_pos;
    }

    std::string_view readWhile(bool (*accept)(char))
    {
        const std::size_t start = m_pos;
        while (!atEnd() && accept(peek()))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

    // At an opening quote: the unescaped content, the cursor after the closing quote. False when unterminated.
    bool readQuoted(std::string* value)
    {
        ++m_pos;
        while (!atEnd()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (atEnd())
                    return false;
                *value += m_text[m_pos++];
            } else {
                *value += c;
            }
        }
        return false;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

std::string toLower(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

// After the scheme and its blank: a token68 is one item that ends the challenge (end of text or a comma).
bool tryReadToken68(Cursor& cursor, std::string* token68)
{
    const std::size_t start = cursor.position();
    std::string_view value = cursor.readWhile(&isToken68Char);
    if (value.empty()) {
        cursor.rewind(start);
        return false;
    }
    std::string text(value);
    while (!cursor.atEnd() && cursor.peek() == '=') {
        text += '=';
        cursor.advance();
    }
    cursor.skipSpaces();
    if (!cursor.atEnd() && cursor.peek() != ',') {
        cursor.rewind(start);
        return false;
    }
    *token68 = std::move(text);
    return true;
}

// Whether the item at the cursor is "name=" (a parameter) rather than the scheme of the next challenge.
bool nextItemIsParam(Cursor& cursor)
{
    const std::size_t start = cursor.position();
    const bool hasName = !cursor.readWhile(&isTokenChar).empty();
    cursor.skipSpaces();
    const bool isParam = hasName && !cursor.atEnd() && cursor.peek() == '=';
    cursor.rewind(start);
    return isParam;
}

// Reads "name = value" pairs separated by commas until the text ends or the next challenge starts.
bool readParams(Cursor& cursor, AuthChallenge* challenge)
{
    for (;;) {
        cursor.skipSpaces();
        while (!cursor.atEnd() && cursor.peek() == ',') {
            cursor.advance();
            cursor.skipSpaces();
        }
        if (cursor.atEnd() || !nextItemIsParam(cursor))
            return true;

        const std::string name = toLower(cursor.readWhile(&isTokenChar));
        cursor.skipSpaces();
        cursor.advance(); // the "=" that nextItemIsParam() saw
        cursor.skipSpaces();
        std::string value;
        if (!cursor.atEnd() && cursor.peek() == '"') {
            if (!cursor.readQuoted(&value))
                return false;
        } else {
            value = std::string(cursor.readWhile(&isTokenChar));
            if (value.empty())
                return false;
        }
        challenge->params.emplace(name, std::move(value));

        cursor.skipSpaces();
        if (!cursor.atEnd() && cursor.peek() != ',')
            return false;
    }
}

} // namespace

bool parseAuthChallenges(std::string_view headerValue, std::vector<AuthChallenge>* challenges)
{
    if (!challenges)
        return false;
    challenges->clear();
    Cursor cursor(headerValue);
    for (;;) {
        cursor.skipSpaces();
        while (!cursor.atEnd() && cursor.peek() == ',') {
            cursor.advance();
            cursor.skipSpaces();
        }
        if (cursor.atEnd())
            return !challenges->empty();

        AuthChallenge challenge;
        challenge.scheme = std::string(cursor.readWhile(&isTokenChar));
        if (challenge.scheme.empty())
            return false;
        if (!cursor.atEnd() && cursor.peek() != ' ' && cursor.peek() != '\t' && cursor.peek() != ',')
            return false;
        cursor.skipSpaces();
        if (!tryReadToken68(cursor, &challenge.token68) && !readParams(cursor, &challenge))
            return false;
        challenges->push_back(std::move(challenge));
    }
}

bool parseDigestChallenge(std::string_view headerValue, std::map<std::string, std::string>* params)
{
    std::vector<AuthChallenge> challenges;
    if (!params || !parseAuthChallenges(headerValue, &challenges))
        return false;
    for (AuthChallenge& challenge : challenges) {
        if (boost::beast::iequals(challenge.scheme, "Digest")) {
            *params = std::move(challenge.params);
            return true;
        }
    }
    return false;
}

} // namespace vorn::network::http
