#include "conversion/record_line.h"

#include <cstdio>

namespace plugshift {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    void skipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool take(char c) {
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool takeWord(std::string_view word) {
        skipBlanks();
        if (text_.substr(pos_, word.size()) == word) {
            pos_ += word.size();
            return true;
        }
        return false;
    }
    bool atEnd() {
        skipBlanks();
        return pos_ == text_.size();
    }
    std::optional<std::string> string() {
        if (!take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < kFirstPrintable) {
                return std::nullopt;
            }
            if (c != '\\') {
                out += c;
            } else if (!escape(out)) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

private:
    bool escape(std::string& out) {
        if (pos_ >= text_.size()) {
            return false;
        }
        switch (const char c = text_[pos_++]) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'n':
                out += '\n';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 'u':
                return unicode(out);
            default:
                return false;
        }
    }
    // Only what quoted() writes: code points below 0x80.
    bool unicode(std::string& out) {
        if (pos_ + 4 > text_.size()) {
            return false;
        }
        unsigned value = 0;
        if (std::sscanf(std::string(text_.substr(pos_, 4)).c_str(), "%4x", &value) != 1 ||
            value >= 0x80) {
            return false;
        }
        pos_ += 4;
        out += static_cast<char>(value);
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

void RecordLine::add(std::string key, std::optional<std::string> value) {
    fields_.emplace_back(std::move(key), std::move(value));
}

void RecordLine::addOrNull(std::string key, const std::string& value) {
    add(std::move(key), value.empty() ? std::nullopt : std::optional<std::string>(value));
}

std::string RecordLine::quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < kFirstPrintable || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string RecordLine::encode() const {
    std::string out = "{";
    for (size_t i = 0; i < fields_.size(); ++i) {
        out += i == 0 ? "" : ",";
        out += quoted(fields_[i].first);
        out += ':';
        out += fields_[i].second ? quoted(*fields_[i].second) : std::string("null");
    }
    return out + "}";
}

std::optional<RecordLine> RecordLine::decode(std::string_view line) {
    Reader reader(line);
    RecordLine object;
    if (!reader.take('{')) {
        return std::nullopt;
    }
    if (!reader.take('}')) {
        do {
            std::optional<std::string> key = reader.string();
            if (!key || !reader.take(':')) {
                return std::nullopt;
            }
            if (reader.takeWord("null")) {
                object.add(std::move(*key), std::nullopt);
            } else if (std::optional<std::string> value = reader.string()) {
                object.add(std::move(*key), std::move(value));
            } else {
                return std::nullopt;
            }
        } while (reader.take(','));
        if (!reader.take('}')) {
            return std::nullopt;
        }
    }
    if (!reader.atEnd()) {
        return std::nullopt;
    }
    return object;
}

std::string RecordLine::value(std::string_view key) const {
    for (const Field& field : fields_) {
        if (field.first == key) {
            return field.second.value_or("");
        }
    }
    return {};
}

}  // namespace plugshift
