#include "xml_search.h"

#include <algorithm>
#include <cstring>

namespace vorn::vms_server_plugins::analytics::axis {

namespace {

// The position just past the end marker searched from `from`, or npos when the text ends first.
std::size_t skipPast(std::string_view text, std::size_t from, std::string_view marker)
{
    const std::size_t found = text.find(marker, from);
    return found == std::string_view::npos ? found : found + marker.size();
}

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// "<!DOCTYPE " as RapidXML reads it: up to the next ">" outside nested brackets.
std::size_t skipDoctype(std::string_view text, std::size_t from)
{
    std::size_t i = from;
    while (i < text.size()) {
        if (text[i] == '>')
            return i + 1;
        if (text[i] == '[') {
            int depth = 1;
            ++i;
            while (depth > 0) {
                if (i >= text.size())
                    return std::string_view::npos;
                if (text[i] == '[')
                    ++depth;
                else if (text[i] == ']')
                    --depth;
                ++i;
            }
            continue;
        }
        ++i;
    }
    return std::string_view::npos;
}

struct OpenAngleCount
{
    std::size_t openAngles = 0;                  //< "<" before the first zero byte
    std::size_t zeroAt = std::string_view::npos; //< where the parser stops, if before the end
};

// Sixteen bytes compared at once: GCC and Clang turn these into the processor's vector instructions
// where it has them. A comparison gives -1 in each byte that matches.
using ByteBlock = signed char __attribute__((vector_size(16)));

// Counts "<" before the first zero byte, a block of bytes at a time: the check runs on every packet of
// every camera, and going from one "<" to the next (a library call each) costs as much as a large share of
// the parse itself.
OpenAngleCount countOpenAngles(std::string_view text)
{
    OpenAngleCount count;
    if (text.empty())
        return count;
    if (const void* zero = std::memchr(text.data(), '\0', text.size())) {
        count.zeroAt = static_cast<std::size_t>(static_cast<const char*>(zero) - text.data());
        text = text.substr(0, count.zeroAt);
    }
    // A byte lane counts down from 0 by one per match: 127 blocks at most before it is added up.
    constexpr std::size_t kBlocksPerSum = 127;
    const char* at = text.data();
    const char* const end = at + text.size();
    while (static_cast<std::size_t>(end - at) >= sizeof(ByteBlock)) {
        const std::size_t blocks = std::min(static_cast<std::size_t>(end - at) / sizeof(ByteBlock), kBlocksPerSum);
        const char* const stop = at + blocks * sizeof(ByteBlock);
        ByteBlock matches{};
        for (; at != stop; at += sizeof(ByteBlock)) {
            ByteBlock block;
            std::memcpy(&block, at, sizeof(block));
            matches += block == '<';
        }
        for (std::size_t i = 0; i < sizeof(ByteBlock); ++i)
            count.openAngles += static_cast<std::size_t>(-matches[i]);
    }
    for (; at != end; ++at) {
        if (*at == '<')
            ++count.openAngles;
    }
    return count;
}

// Every node of a search passes here: the length and the first byte turn most of them away before a
// comparison of the whole name.
inline bool isElementNamed(const XmlNode* node, std::string_view name)
{
    return node->type() == rapidxml::node_element && node->name_size() == name.size() &&
           (name.empty() || (node->name()[0] == name[0] && std::memcmp(node->name(), name.data(), name.size()) == 0));
}

// The node after `current` in pre-order below root; its children are skipped when skipChildren is set.
const XmlNode* nextInPreorder(const XmlNode* root, const XmlNode* current, bool skipChildren)
{
    if (!skipChildren) {
        if (const XmlNode* child = current->first_node())
            return child;
    }
    while (current != root) {
        if (const XmlNode* sibling = current->next_sibling())
            return sibling;
        current = current->parent();
    }
    return nullptr;
}

} // namespace

std::optional<QString> parseCameraXml(std::string* text, XmlDocument* document)
{
    if (!isXmlNestingWithin(*text, kMaxXmlDepth))
        return QStringLiteral("elements nested more than %1 levels deep").arg(kMaxXmlDepth);
    try {
        document->parse<rapidxml::parse_no_string_terminators>(text->data());
    } catch (const rapidxml::parse_error& error) {
        return QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

bool isXmlNestingWithin(std::string_view text, int maxDepth)
{
    // Every level the parser descends begins with a "<": a text with no more of them than the limit cannot
    // go deeper, and a count is far cheaper than the scan below. Real notifications pass here.
    const OpenAngleCount count = countOpenAngles(text);
    if (count.zeroAt != std::string_view::npos)
        text = text.substr(0, count.zeroAt);
    if (count.openAngles <= static_cast<std::size_t>(maxDepth))
        return true;

    int depth = 0;
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = text.substr(i + 1);
        if (rest.starts_with('/')) {
            if (depth > 0)
                --depth;
            i += 2;
        } else if (rest.starts_with('?')) {
            i = skipPast(text, i + 2, "?>");
        } else if (rest.starts_with("!--")) {
            i = skipPast(text, i + 4, "-->");
        } else if (rest.starts_with("![CDATA[")) {
            i = skipPast(text, i + 9, "]]>");
        } else if (rest.starts_with("!DOCTYPE") && rest.size() > 8 && isWhitespace(rest[8])) {
            i = skipDoctype(text, i + 10);
        } else if (rest.starts_with('!')) {
            i = skipPast(text, i + 2, ">");
        } else {
            // A start tag: up to its ">" outside quoted attribute values; "/>" closes it at once.
            std::size_t j = i + 1;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (c == '>')
                    break;
                if (c == '"' || c == '\'') {
                    j = text.find(c, j + 1);
                    if (j == std::string_view::npos)
                        return true; // The parser stops at the unclosed value.
                }
            }
            if (j >= text.size())
                return true;
            if (text[j - 1] != '/' && ++depth > maxDepth)
                return false;
            i = j + 1;
        }
        if (i == std::string_view::npos)
            return true; // The parser stops at the unterminated construct.
    }
    return true;
}

const XmlNode* findDescendant(const XmlNode* node, std::string_view name)
{
    if (!node)
        return nullptr;
    for (const XmlNode* current = node->first_node(); current;
         current = nextInPreorder(node, current, /*skipChildren*/ false)) {
        if (isElementNamed(current, name))
            return current;
    }
    return nullptr;
}

const XmlNode* findNextDescendant(const XmlNode* root, const XmlNode* previous, std::string_view name)
{
    if (!root || !previous)
        return nullptr;
    for (const XmlNode* current = nextInPreorder(root, previous, /*skipChildren*/ true); current;
         current = nextInPreorder(root, current, /*skipChildren*/ false)) {
        if (isElementNamed(current, name))
            return current;
    }
    return nullptr;
}

const XmlAttribute* findAttribute(const XmlNode* node, std::string_view name)
{
    if (!node)
        return nullptr;
    for (const XmlAttribute* attribute = node->first_attribute(); attribute; attribute = attribute->next_attribute()) {
        if (std::string_view(attribute->name(), attribute->name_size()) == name)
            return attribute;
    }
    return nullptr;
}

const XmlNode* findChild(const XmlNode* node, std::string_view name)
{
    if (!node)
        return nullptr;
    for (const XmlNode* child = node->first_node(); child; child = child->next_sibling()) {
        if (isElementNamed(child, name))
            return child;
    }
    return nullptr;
}

std::string_view nameOf(const XmlNode* node)
{
    return std::string_view(node->name(), node->name_size());
}

QString valueText(const XmlNode* node)
{
    return QString::fromUtf8(node->value(), static_cast<int>(node->value_size()));
}

QString valueText(const XmlAttribute* attribute)
{
    return QString::fromUtf8(attribute->value(), static_cast<int>(attribute->value_size()));
}

} // namespace vorn::vms_server_plugins::analytics::axis
