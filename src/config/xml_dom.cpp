#include "config/xml_dom.h"

#include <cstring>
#include <cwctype>
#include <limits>
#include <sstream>

#include "errors/wide_text.h"

namespace plugshift::xmldom {

namespace {

// Keeps declaration, comments and processing instructions, so a document written back loses
// nothing that was read.
constexpr unsigned kParseOptions = pugi::parse_full;
constexpr const char* kIndent = "\t";

// Calls visit for every element below node with that tag name, in document order, until it
// returns false. Walks without recursion, so a deeply nested file cannot exhaust the stack.
template <class Visit>
void visitDescendants(const pugi::xml_node& node, const char* tag, Visit visit) {
    pugi::xml_node current = node.first_child();
    while (current && current != node) {
        if (current.type() == pugi::node_element && std::strcmp(current.name(), tag) == 0 &&
            !visit(current)) {
            return;
        }
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current != node && !current.next_sibling()) {
            current = current.parent();
        }
        if (current != node) {
            current = current.next_sibling();
        }
    }
}

}  // namespace

bool parse(pugi::xml_document& document, const std::wstring& text) {
    pugi::xml_parse_result result = document.load_buffer(text.data(), text.size() * sizeof(wchar_t),
                                                         kParseOptions, pugi::encoding_wchar);
    return result && document.document_element();
}

pugi::xml_node documentElement(const pugi::xml_document& document) {
    pugi::xml_node root = document.document_element();
    if (!root) {
        throw XmlFault{};
    }
    return root;
}

std::vector<pugi::xml_node> descendants(const pugi::xml_node& node, const char* tag) {
    std::vector<pugi::xml_node> found;
    visitDescendants(node, tag, [&found](const pugi::xml_node& element) {
        found.push_back(element);
        return true;
    });
    return found;
}

pugi::xml_node firstDescendant(const pugi::xml_node& node, const char* tag) {
    pugi::xml_node first;
    visitDescendants(node, tag, [&first](const pugi::xml_node& element) {
        first = element;
        return false;
    });
    return first;
}

std::wstring text(const pugi::xml_node& element, const char* name) {
    pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute) {
        throw XmlFault{};
    }
    return fromUtf8(attribute.value());
}

int32_t integer(const pugi::xml_node& element, const char* name) {
    std::wstring value = text(element, name);
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < value.size() && std::iswspace(static_cast<wint_t>(value[i]))) {
            ++i;
        }
    };
    skipBlanks();
    bool negative = false;
    if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) {
        negative = value[i] == L'-';
        ++i;
    }
    int64_t number = 0;
    size_t digits = 0;
    for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i, ++digits) {
        number = number * 10 + (value[i] - L'0');
        if (number > int64_t{std::numeric_limits<int32_t>::max()} + 1) {
            throw XmlFault{};
        }
    }
    skipBlanks();
    number = negative ? -number : number;
    if (digits == 0 || i != value.size() || number > std::numeric_limits<int32_t>::max()) {
        throw XmlFault{};
    }
    return static_cast<int32_t>(number);
}

void setText(pugi::xml_node& element, const char* name, const std::wstring& value) {
    pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute) {
        attribute = element.append_attribute(name);
    }
    attribute.set_value(toUtf8(value).c_str());
}

std::wstring serialise(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, kIndent, pugi::format_indent | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return fromUtf8(out.str());
}

}  // namespace plugshift::xmldom
