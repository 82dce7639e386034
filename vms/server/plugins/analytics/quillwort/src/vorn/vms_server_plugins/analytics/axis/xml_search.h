// The XML helpers of the Axis plugin: the one parse of camera bytes, which checks their nesting before
// RapidXML sees them, and the lookups that the readers of notifications, catalogues and plate records share.
//
//     XmlDocument document;                                // its first nodes come from a pool on the stack
//     if (const std::optional<QString> error = parseCameraXml(&text, &document))
//         return fail(*error);                             // text: zero-terminated, parsed in place
//     const auto* topicSet = findDescendant(&document, "wstop:TopicSet");
//
// Names are compared byte for byte with their prefixes as the camera writes them; nothing resolves
// namespaces.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <QtCore/QString>

#include <rapidxml/rapidxml.hpp>

namespace vorn::vms_server_plugins::analytics::axis {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;
using XmlDocument = rapidxml::xml_document<char>;

// Deepest element nesting accepted from a camera. RapidXML descends recursively, one set of stack frames
// per level, and the catalogue walk recurses along the same levels: this bound keeps both to a few tens of
// KiB of the server thread's stack. Real notifications nest about ten levels, catalogues about fifteen.
inline constexpr int kMaxXmlDepth = 128;

/**
 * Whether no element of the zero-terminated (or ending) text nests deeper than maxDepth, as RapidXML
 * would read it: comments, CDATA sections, processing instructions, DOCTYPE declarations and quoted
 * attribute values are skipped the way RapidXML skips them, so it never counts fewer levels than the
 * parser would descend before it stops. Stops at the first zero byte, as the parser does.
 */
bool isXmlNestingWithin(std::string_view text, int maxDepth);

/**
 * Parses the camera's text in place (the parser writes into the text, which the document's nodes point
 * into afterwards) once isXmlNestingWithin(kMaxXmlDepth) allows it. None when the document is ready;
 * otherwise why not: "elements nested more than 128 levels deep", or the parser's message. The document is
 * the caller's, so that its first block of nodes stays on the caller's stack.
 *
 * RapidXML's default flags but one: names and values are not zero-terminated in the text, a write per
 * name and value saved on every packet. Read them by their sizes (nameOf(), valueText(), the lookups here
 * and RapidXML's own name lookups do), never as C strings.
 */
std::optional<QString> parseCameraXml(std::string* text, XmlDocument* document);

/** The first element below node (not node itself) named name, depth first in document order; or null. */
const XmlNode* findDescendant(const XmlNode* node, std::string_view name);

/**
 * The next element named name after `previous` in document order, not looking inside `previous`, and
 * staying below root; or null. With findDescendant() it walks every such element without recursion.
 */
const XmlNode* findNextDescendant(const XmlNode* root, const XmlNode* previous, std::string_view name);

/** The node's first attribute of that name, or null. */
const XmlAttribute* findAttribute(const XmlNode* node, std::string_view name);

/** The first direct child element of that name, or null. */
const XmlNode* findChild(const XmlNode* node, std::string_view name);

std::string_view nameOf(const XmlNode* node);
/** The element's text (its first data child), decoded as UTF-8. */
QString valueText(const XmlNode* node);
QString valueText(const XmlAttribute* attribute);

} // namespace vorn::vms_server_plugins::analytics::axis
