#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plugshift {

// One line of the conversion record: a flat JSON object whose values are strings or null, in the
// order they were given. Only this shape is written and read; anything else does not parse.
class RecordLine {
public:
    using Field = std::pair<std::string, std::optional<std::string>>;

    void add(std::string key, std::optional<std::string> value);
    // An empty value is written as null.
    void addOrNull(std::string key, const std::string& value);

    // The object on one line, without the line feed. Control characters, quotes and backslashes
    // are escaped, so no value can break the line or forge another entry.
    std::string encode() const;
    // The object of one line; nothing when it is not such an object (a torn write).
    static std::optional<RecordLine> decode(std::string_view line);

    // The value of key: empty for null or absent.
    std::string value(std::string_view key) const;
    const std::vector<Field>& fields() const { return fields_; }

    // A JSON string literal of text (UTF-8 passed through).
    static std::string quoted(std::string_view text);

private:
    std::vector<Field> fields_;
};

}  // namespace plugshift
