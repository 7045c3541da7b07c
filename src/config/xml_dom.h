#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace plugshift {

// A DOM operation that fails inside one of the configuration's guarded regions: an attribute
// that is absent, an integer attribute that is not one, a document that is missing. Only these
// helpers throw it and only the Configuration's guarded regions catch it.
struct XmlFault {};

// The few DOM operations the configuration needs, over pugixml.
namespace xmldom {

// Parses wide text into the document; false when it is not XML or has no document element.
bool parse(pugi::xml_document& document, const std::wstring& text);
// The document element; XmlFault when there is none.
pugi::xml_node documentElement(const pugi::xml_document& document);
// Every element below node (not node itself) with that tag name, in document order.
std::vector<pugi::xml_node> descendants(const pugi::xml_node& node, const char* tag);
// The first of them; an empty node when there is none.
pugi::xml_node firstDescendant(const pugi::xml_node& node, const char* tag);
// The attribute as text; XmlFault when it is absent.
std::wstring text(const pugi::xml_node& element, const char* name);
// The attribute as a 32-bit integer (blanks around it and a sign allowed); XmlFault when it is
// absent, empty, not a whole decimal number or out of range.
int32_t integer(const pugi::xml_node& element, const char* name);
// Sets the attribute, adding it when absent.
void setText(pugi::xml_node& element, const char* name, const std::wstring& value);
// The whole document as text, declaration and comments included, one element per line.
std::wstring serialise(const pugi::xml_document& document);

}  // namespace xmldom
}  // namespace plugshift
