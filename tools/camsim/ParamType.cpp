#include "ParamType.h"

#include <cctype>

namespace Camsim {

namespace {

bool isUpper(char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; }
bool isLower(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::optional<long long> parseInteger(const std::string& text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || text.size() - i > 18)
        return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
        v = v * 10 + (text[i] - '0');
    }
    return negative ? -v : v;
}

// Splits at spaces outside double quotes and drops the quotes.
std::optional<std::vector<std::string>> tokenize(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string cur;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any)
                tokens.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (any)
        tokens.push_back(cur);
    return tokens;
}

bool parseRange(const std::string& arg, ParamType& t)
{
    const auto dots = arg.find("..");
    if (dots == std::string::npos)
        return false;
    const std::string lo = arg.substr(0, dots);
    const std::string hi = arg.substr(dots + 2);
    if (!lo.empty()) {
        t.min = parseInteger(lo);
        if (!t.min)
            return false;
    }
    if (!hi.empty()) {
        t.max = parseInteger(hi);
        if (!t.max)
            return false;
    }
    return !(t.min && t.max && *t.min > *t.max);
}

bool parseEntries(const std::string& arg, ParamType& t)
{
    std::size_t start = 0;
    while (start <= arg.size()) {
        auto end = arg.find('|', start);
        if (end == std::string::npos)
            end = arg.size();
        const std::string item = arg.substr(start, end - start);
        if (item.empty())
            return false;
        const auto eq = item.find('=');
        if (eq == std::string::npos)
            t.entries.push_back({item, ""});
        else
            t.entries.push_back({item.substr(0, eq), item.substr(eq + 1)});
        start = end + 1;
    }
    return !t.entries.empty();
}

bool parseKind(const std::string& token, ParamType& t, std::string& error)
{
    const auto colon = token.find(':');
    const std::string kind = token.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : token.substr(colon + 1);
    const bool hasArg = colon != std::string::npos;
    if (kind == "string" || kind == "hostname") {
        t.kind = kind == "string" ? ParamType::Kind::String : ParamType::Kind::Hostname;
        if (hasArg) {
            const auto len = parseInteger(arg);
            if (!len || *len < 0) {
                error = "bad string length '" + arg + "'";
                return false;
            }
            t.maxLen = static_cast<unsigned>(*len);
        }
        return true;
    }
    if (kind == "bool") {
        t.kind = ParamType::Kind::Bool;
        if (hasArg) {
            const auto slash = arg.find('/');
            if (slash == std::string::npos || slash == 0 || slash + 1 == arg.size()) {
                error = "bool spellings must read true/false, got '" + arg + "'";
                return false;
            }
            t.trueValue = arg.substr(0, slash);
            t.falseValue = arg.substr(slash + 1);
        }
        return true;
    }
    if (kind == "int") {
        t.kind = ParamType::Kind::Int;
        if (hasArg && !parseRange(arg, t)) {
            error = "bad int range '" + arg + "'";
            return false;
        }
        return true;
    }
    if (kind == "enum") {
        t.kind = ParamType::Kind::Enum;
        if (!parseEntries(arg, t)) {
            error = "bad enum entries '" + arg + "'";
            return false;
        }
        return true;
    }
    error = "unknown type '" + kind + "'";
    return false;
}

} // namespace

bool ParamType::accepts(const std::string& value) const
{
    if (maxLen && value.size() > *maxLen)
        return false;
    switch (kind) {
    case Kind::String:
    case Kind::Hostname:
        for (char c : value) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return false;
        }
        if (kind == Kind::Hostname) {
            for (char c : value) {
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
                    return false;
            }
        }
        return true;
    case Kind::Bool:
        return value == trueValue || value == falseValue;
    case Kind::Int: {
        const auto v = parseInteger(value);
        return v && (!min || *v >= *min) && (!max || *v <= *max);
    }
    case Kind::Enum:
        for (const auto& e : entries) {
            if (e.value == value)
                return true;
        }
        return false;
    }
    return false;
}

std::optional<ParamType> parseParamType(const std::string& text, std::string& error)
{
    const auto tokens = tokenize(text);
    if (!tokens) {
        error = "unbalanced quote";
        return std::nullopt;
    }
    ParamType t;
    bool kindSeen = false;
    for (const auto& token : *tokens) {
        if (token == "readonly") {
            t.readOnly = true;
        } else if (token == "const") {
            t.constant = true;
        } else if (token == "hidden") {
            t.hidden = true;
        } else if (token == "internal") {
            t.internal = true;
        } else if (token == "dynamic") {
            t.dynamic = true;
        } else if (token == "secret") {
            t.secret = true;
        } else if (token.rfind("sec=", 0) == 0) {
            t.securityLevel = token.substr(4);
            if (t.securityLevel.empty()) {
                error = "empty securityLevel";
                return std::nullopt;
            }
        } else if (token.rfind("maxlen=", 0) == 0) {
            const auto len = parseInteger(token.substr(7));
            if (!len || *len < 0) {
                error = "bad maxlen '" + token + "'";
                return std::nullopt;
            }
            t.maxLen = static_cast<unsigned>(*len);
        } else if (token.rfind("nice=", 0) == 0) {
            t.niceName = token.substr(5);
        } else {
            if (kindSeen) {
                error = "second type '" + token + "'";
                return std::nullopt;
            }
            if (!parseKind(token, t, error))
                return std::nullopt;
            kindSeen = true;
        }
    }
    return t;
}

std::string niceNameOf(const std::string& name)
{
    // Words start at a lower->upper step, at the last capital of an acronym
    // followed by a lower-case letter, and at a letter after digits.
    std::vector<std::string> words;
    std::string cur;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        bool split = false;
        if (i > 0 && isUpper(c)) {
            const char prev = name[i - 1];
            const bool nextLower = i + 1 < name.size() && isLower(name[i + 1]);
            split = isLower(prev) || (isUpper(prev) && nextLower);
        }
        if (split && !cur.empty()) {
            words.push_back(cur);
            cur.clear();
        }
        cur += c;
    }
    if (!cur.empty())
        words.push_back(cur);

    std::string out;
    for (std::size_t w = 0; w < words.size(); ++w) {
        std::string word = words[w];
        bool acronym = word.size() > 1;
        for (char c : word) {
            if (isLower(c))
                acronym = false;
        }
        if (w > 0 && !acronym) {
            for (auto& c : word)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (w > 0)
            out += ' ';
        out += word;
    }
    return out;
}

} // namespace Camsim
