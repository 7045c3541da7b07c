#include "udev_rules.h"

#include <fnmatch.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string_view>

namespace plugshift {

namespace {

enum class Use { kMatch, kAssign, kBoth };
enum class Braces { kNone, kRequired, kOptional };

struct KeySpec {
    std::string_view name;
    Use use;
    Braces braces;
    bool parent;              // searched up the chain, together with the other parent keys
    std::string_view assign;  // assignment operators udev takes without complaint, space-separated
};

constexpr KeySpec kKeys[] = {
    {"ACTION", Use::kMatch, Braces::kNone, false, ""},
    {"DEVPATH", Use::kMatch, Braces::kNone, false, ""},
    {"KERNEL", Use::kMatch, Braces::kNone, false, ""},
    {"SUBSYSTEM", Use::kMatch, Braces::kNone, false, ""},
    {"DRIVER", Use::kMatch, Braces::kNone, false, ""},
    {"KERNELS", Use::kMatch, Braces::kNone, true, ""},
    {"SUBSYSTEMS", Use::kMatch, Braces::kNone, true, ""},
    {"DRIVERS", Use::kMatch, Braces::kNone, true, ""},
    {"ATTRS", Use::kMatch, Braces::kRequired, true, ""},
    {"TAGS", Use::kMatch, Braces::kNone, true, ""},
    {"CONST", Use::kMatch, Braces::kRequired, false, ""},
    {"TEST", Use::kMatch, Braces::kOptional, false, ""},
    {"PROGRAM", Use::kMatch, Braces::kNone, false, ""},
    {"RESULT", Use::kMatch, Braces::kNone, false, ""},
    {"ATTR", Use::kBoth, Braces::kRequired, false, "= :="},
    {"SYSCTL", Use::kBoth, Braces::kRequired, false, "= :="},
    {"ENV", Use::kBoth, Braces::kRequired, false, "= += :="},
    {"TAG", Use::kBoth, Braces::kNone, false, "= += -="},
    {"NAME", Use::kBoth, Braces::kNone, false, "= :="},
    {"SYMLINK", Use::kBoth, Braces::kNone, false, "= += -= :="},
    {"OWNER", Use::kAssign, Braces::kNone, false, "= :="},
    {"GROUP", Use::kAssign, Braces::kNone, false, "= :="},
    {"MODE", Use::kAssign, Braces::kNone, false, "= :="},
    {"SECLABEL", Use::kAssign, Braces::kRequired, false, "= += :="},
    {"RUN", Use::kAssign, Braces::kOptional, false, "= += :="},
    {"OPTIONS", Use::kAssign, Braces::kNone, false, "= += :="},
    {"GOTO", Use::kAssign, Braces::kNone, false, "="},
    {"LABEL", Use::kAssign, Braces::kNone, false, "="},
};

const KeySpec* findKey(std::string_view name) {
    for (const KeySpec& spec : kKeys) {
        if (spec.name == name) {
            return &spec;
        }
    }
    return nullptr;
}

bool isMatchOp(const std::string& op) {
    return op == "==" || op == "!=";
}

bool takesAssignOp(const KeySpec& spec, const std::string& op) {
    std::istringstream ops{std::string(spec.assign)};
    return std::find(std::istream_iterator<std::string>(ops), std::istream_iterator<std::string>(),
                     op) != std::istream_iterator<std::string>();
}

// udev's glob: alternatives separated by "|", each an fnmatch pattern.
bool globMatches(const std::string& pattern, const std::string& value) {
    size_t start = 0;
    while (true) {
        const size_t bar = pattern.find('|', start);
        const std::string alternative = pattern.substr(start, bar - start);
        if (fnmatch(alternative.c_str(), value.c_str(), 0) == 0) {
            return true;
        }
        if (bar == std::string::npos) {
            return false;
        }
        start = bar + 1;
    }
}

bool compared(const std::string& op, const std::string& pattern, const std::string* value) {
    const bool hit = value != nullptr && globMatches(pattern, *value);
    return op == "==" ? hit : !hit;
}

bool isParentKey(const std::string& name) {
    const KeySpec* spec = findKey(name);
    return spec != nullptr && spec->parent;
}

std::string lineError(int line, const std::string& reason) {
    return "line " + std::to_string(line) + ": " + reason;
}

}  // namespace

bool UdevRules::parse(const std::string& text, std::string& error) {
    rules_.clear();
    std::istringstream in(text);
    std::string physical;
    std::string logical;
    int number = 0;
    int first = 0;
    while (std::getline(in, physical)) {
        ++number;
        if (logical.empty()) {
            first = number;
        }
        const bool continues = !physical.empty() && physical.back() == '\\';
        if (continues) {
            physical.pop_back();
        }
        logical += physical;
        if (continues) {
            continue;
        }
        const size_t start = logical.find_first_not_of(" \t");
        if (start != std::string::npos && logical[start] != '#' &&
            !parseRule(logical.substr(start), first, error)) {
            return false;
        }
        logical.clear();
    }
    if (!logical.empty()) {
        error = lineError(first, "the file ends inside a continued line");
        return false;
    }
    // A GOTO jumps forward only; udev ignores one whose label does not follow it.
    for (size_t i = 0; i < rules_.size(); ++i) {
        for (const Key& key : rules_[i].keys) {
            if (key.name != "GOTO") {
                continue;
            }
            const bool found =
                std::any_of(rules_.begin() + i + 1, rules_.end(), [&](const Rule& r) {
                    return std::any_of(r.keys.begin(), r.keys.end(), [&](const Key& k) {
                        return k.name == "LABEL" && k.value == key.value;
                    });
                });
            if (!found) {
                error =
                    lineError(rules_[i].line, "GOTO \"" + key.value + "\" has no LABEL after it");
                return false;
            }
        }
    }
    return true;
}

bool UdevRules::parseRule(const std::string& text, int line, std::string& error) {
    Rule rule;
    rule.line = line;
    size_t at = 0;
    while (at < text.size()) {
        Key key;
        const size_t nameEnd = text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", at);
        key.name = text.substr(at, nameEnd - at);
        const KeySpec* spec = findKey(key.name);
        if (spec == nullptr) {
            error = lineError(line, "unknown key \"" + key.name + "\"");
            return false;
        }
        at = nameEnd;
        if (at < text.size() && text[at] == '{') {
            const size_t close = text.find('}', at);
            if (close == std::string::npos || spec->braces == Braces::kNone) {
                error = lineError(line, key.name + " takes no {attribute} here");
                return false;
            }
            key.attribute = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else if (spec->braces == Braces::kRequired) {
            error = lineError(line, key.name + " needs an {attribute}");
            return false;
        }
        for (const char* op : {"==", "!=", "+=", "-=", ":=", "="}) {
            if (text.compare(at, std::string_view(op).size(), op) == 0) {
                key.op = op;
                break;
            }
        }
        const bool matchOk = isMatchOp(key.op) && spec->use != Use::kAssign;
        const bool assignOk =
            !isMatchOp(key.op) && spec->use != Use::kMatch && takesAssignOp(*spec, key.op);
        if (key.op.empty() || !(matchOk || assignOk)) {
            error = lineError(line, "operator \"" + key.op + "\" is not valid for " + key.name);
            return false;
        }
        at += key.op.size();
        const size_t close =
            at < text.size() && text[at] == '"' ? text.find('"', at + 1) : std::string::npos;
        if (close == std::string::npos) {
            error = lineError(line, key.name + " needs its value in double quotes");
            return false;
        }
        key.value = text.substr(at + 1, close - at - 1);
        at = text.find_first_not_of(" \t", close + 1);
        if (at != std::string::npos) {
            if (text[at] != ',') {
                error = lineError(line, "a comma must follow the value of " + key.name);
                return false;
            }
            at = text.find_first_not_of(" \t", at + 1);
        }
        rule.keys.push_back(std::move(key));
        if (at == std::string::npos) {
            break;
        }
    }
    rules_.push_back(std::move(rule));
    return true;
}

bool UdevRules::matchesOn(const Key& key, const UdevDevice& device, const std::string& action) {
    if (key.name == "ACTION") {
        return compared(key.op, key.value, &action);
    }
    if (key.name == "SUBSYSTEM" || key.name == "SUBSYSTEMS") {
        return compared(key.op, key.value, &device.subsystem);
    }
    if (key.name == "KERNEL" || key.name == "KERNELS") {
        return compared(key.op, key.value, &device.kernel);
    }
    if (key.name == "DRIVER" || key.name == "DRIVERS") {
        return compared(key.op, key.value, &device.driver);
    }
    const auto found = device.attributes.find(key.attribute);
    return compared(key.op, key.value, found == device.attributes.end() ? nullptr : &found->second);
}

bool UdevRules::apply(const UdevEvent& event, UdevOutcome& outcome, std::string& error) const {
    const UdevDevice& device = event.chain.front();
    std::string skipTo;
    for (const Rule& rule : rules_) {
        if (!skipTo.empty()) {
            if (std::any_of(rule.keys.begin(), rule.keys.end(),
                            [&](const Key& k) { return k.name == "LABEL" && k.value == skipTo; })) {
                skipTo.clear();
            }
            continue;
        }
        std::vector<const Key*> parentKeys;
        bool matched = true;
        for (const Key& key : rule.keys) {
            if (!isMatchOp(key.op)) {
                continue;
            }
            if (isParentKey(key.name)) {
                if (key.name == "TAGS") {
                    error = lineError(rule.line, "TAGS is not modelled");
                    return false;
                }
                parentKeys.push_back(&key);
            } else if (key.name == "ENV" || key.name == "TAG") {
                const auto env = outcome.environment.find(key.attribute);
                const std::string* value =
                    key.name == "TAG" ? (outcome.tags.count(key.value) ? &key.value : nullptr)
                                      : (env == outcome.environment.end() ? nullptr : &env->second);
                matched = matched && compared(key.op, key.value, value);
            } else if (key.name == "ACTION" || key.name == "SUBSYSTEM" || key.name == "KERNEL" ||
                       key.name == "DRIVER" || key.name == "ATTR") {
                matched = matched && matchesOn(key, device, event.action);
            } else {
                error = lineError(rule.line, key.name + " matches are not modelled");
                return false;
            }
        }
        if (matched && !parentKeys.empty()) {
            matched = std::any_of(event.chain.begin(), event.chain.end(), [&](const UdevDevice& d) {
                return std::all_of(parentKeys.begin(), parentKeys.end(),
                                   [&](const Key* k) { return matchesOn(*k, d, event.action); });
            });
        }
        if (!matched) {
            continue;
        }
        for (const Key& key : rule.keys) {
            if (isMatchOp(key.op) || key.name == "LABEL") {
                continue;
            }
            if (key.name == "TAG") {
                if (key.op == "=") {
                    outcome.tags.clear();
                }
                if (key.op == "-=") {
                    outcome.tags.erase(key.value);
                } else {
                    outcome.tags.insert(key.value);
                }
            } else if (key.name == "GROUP") {
                outcome.group = key.value;
            } else if (key.name == "MODE") {
                outcome.mode = key.value;
            } else if (key.name == "ENV") {
                outcome.environment[key.attribute] = key.value;
            } else if (key.name == "ATTR") {
                outcome.attributeWrites[key.attribute] = key.value;
            } else if (key.name == "GOTO") {
                skipTo = key.value;
            } else {
                error = lineError(rule.line, key.name + " assignments are not modelled");
                return false;
            }
        }
    }
    return true;
}

}  // namespace plugshift
