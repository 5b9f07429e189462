#include "ModelLoader.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace Camsim {

namespace {

constexpr int kMaxIncludeDepth = 8;
constexpr long kMaxRepeat = 256;

struct Line {
    std::string text;
    std::string file;
    int number;
};

std::string trimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return trimRight(s.substr(b));
}

std::vector<Line> splitLines(const std::string& text, const std::string& file)
{
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string l;
    int n = 0;
    while (std::getline(in, l))
        lines.push_back({trimRight(l), file, ++n});
    return lines;
}

std::vector<std::string> words(const std::string& s)
{
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

bool startsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }

class Parser {
public:
    Parser(Model& model, const ModelLoader::IncludeReader& include, std::string& error)
        : model_(model), include_(include), error_(error)
    {
    }

    bool run(const std::vector<Line>& lines, int depth)
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            const std::string text = trim(line.text);
            if (text.empty() || text[0] == '#')
                continue;
            if (text[0] != '@') {
                if (!parameter(line, text))
                    return false;
                continue;
            }
            const auto w = words(text);
            const std::string& d = w[0];
            if (d == "@for" || d == "@template") {
                std::vector<Line> body;
                if (!collectBlock(lines, i, body))
                    return fail(line, "'" + d + "' without '@end'");
                if (d == "@for" ? !repeat(line, w, body, depth) : !templ(line, w, body))
                    return false;
            } else if (d == "@include") {
                if (w.size() != 2)
                    return fail(line, "@include takes one file name");
                if (depth >= kMaxIncludeDepth)
                    return fail(line, "includes nested too deep");
                const auto text2 = include_ ? include_(w[1]) : std::nullopt;
                if (!text2)
                    return fail(line, "cannot read include '" + w[1] + "'");
                if (!run(splitLines(*text2, w[1]), depth + 1))
                    return false;
            } else if (d == "@optics") {
                model_.optics = true;
            } else if (d == "@webserver") {
                if (w.size() != 2 || (w[1] != "apache" && w[1] != "boa"))
                    return fail(line, "@webserver takes apache or boa");
                model_.webServer = w[1] == "boa" ? WebServerStyle::Boa : WebServerStyle::Apache;
            } else if (d == "@quirk") {
                if (w.size() != 2 || w[1] != "unprefixed-after-error")
                    return fail(line, "unknown quirk");
                model_.unprefixedAfterError = true;
            } else if (d == "@group") {
                if (w.size() != 2 || !model_.params.ensureGroup(w[1]))
                    return fail(line, "bad @group");
            } else if (d == "@end") {
                return fail(line, "'@end' without a block");
            } else {
                return fail(line, "unknown directive '" + d + "'");
            }
        }
        return true;
    }

private:
    bool fail(const Line& line, const std::string& what)
    {
        error_ = line.file + ":" + std::to_string(line.number) + ": " + what;
        return false;
    }

    // Lines after lines[i] up to the matching @end; i is left on the @end.
    static bool collectBlock(const std::vector<Line>& lines, std::size_t& i, std::vector<Line>& body)
    {
        int nesting = 0;
        for (++i; i < lines.size(); ++i) {
            const std::string t = trim(lines[i].text);
            if (startsWith(t, "@for") || startsWith(t, "@template"))
                ++nesting;
            if (t == "@end") {
                if (nesting == 0)
                    return true;
                --nesting;
            }
            body.push_back(lines[i]);
        }
        return false;
    }

    struct Split {
        std::string path;
        std::string value;
        std::string typeSpec;
    };

    bool splitParam(const Line& line, const std::string& text, Split& out)
    {
        const auto eq = text.find('=');
        if (eq == std::string::npos || eq == 0)
            return fail(line, "expected Name=value");
        out.path = trim(text.substr(0, eq));
        std::string rest = text.substr(eq + 1);
        const auto semi = rest.find(" ; ");
        if (semi != std::string::npos) {
            out.typeSpec = trim(rest.substr(semi + 3));
            rest = rest.substr(0, semi);
        } else if (rest.size() >= 2 && rest.compare(rest.size() - 2, 2, " ;") == 0) {
            rest = rest.substr(0, rest.size() - 2);
        }
        out.value = rest;
        return true;
    }

    bool typed(const Line& line, const Split& s, ParamType& type)
    {
        std::string why;
        const auto t = parseParamType(s.typeSpec, why);
        if (!t)
            return fail(line, why);
        type = *t;
        if (!type.accepts(s.value))
            return fail(line, "default '" + s.value + "' does not fit the type of " + s.path);
        return true;
    }

    bool parameter(const Line& line, const std::string& text)
    {
        Split s;
        ParamType type;
        if (!splitParam(line, text, s) || !typed(line, s, type))
            return false;
        if (!model_.params.define(s.path, s.value, type))
            return fail(line, "bad parameter path '" + s.path + "'");
        return true;
    }

    bool repeat(const Line& line, const std::vector<std::string>& w, const std::vector<Line>& body,
                int depth)
    {
        // @for i=0..3
        if (w.size() != 2)
            return fail(line, "@for takes var=first..last");
        const auto eq = w[1].find('=');
        const auto dots = w[1].find("..");
        if (eq == std::string::npos || dots == std::string::npos || dots < eq || eq == 0)
            return fail(line, "@for takes var=first..last");
        const std::string var = w[1].substr(0, eq);
        long first = 0;
        long last = 0;
        try {
            first = std::stol(w[1].substr(eq + 1, dots - eq - 1));
            last = std::stol(w[1].substr(dots + 2));
        } catch (const std::exception&) {
            return fail(line, "bad @for range");
        }
        if (first < 0 || last < first || last - first >= kMaxRepeat)
            return fail(line, "bad @for range");
        for (long n = first; n <= last; ++n) {
            std::vector<Line> expanded = body;
            for (auto& l : expanded) {
                replaceAll(l.text, "{" + var + "}", std::to_string(n));
                replaceAll(l.text, "{" + var + "+1}", std::to_string(n + 1));
            }
            if (!run(expanded, depth))
                return false;
        }
        return true;
    }

    bool templ(const Line& line, const std::vector<std::string>& w, const std::vector<Line>& body)
    {
        if (w.size() != 4)
            return fail(line, "@template takes NAME PARENT LETTER");
        InstanceTemplate t;
        t.name = w[1];
        t.parent = w[2];
        t.letter = w[3];
        for (const auto& l : body) {
            const std::string text = trim(l.text);
            if (text.empty() || text[0] == '#')
                continue;
            Split s;
            ParamType type;
            if (!splitParam(l, text, s) || !typed(l, s, type))
                return false;
            if (splitParamPath(s.path).empty())
                return fail(l, "bad template parameter '" + s.path + "'");
            t.params.push_back({s.path, s.value, type});
        }
        model_.templates.push_back(std::move(t));
        return true;
    }

    static void replaceAll(std::string& s, const std::string& from, const std::string& to)
    {
        for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
            s.replace(at, from.size(), to);
    }

    Model& model_;
    const ModelLoader::IncludeReader& include_;
    std::string& error_;
};

std::optional<std::string> readFile(const boost::filesystem::path& p)
{
    std::ifstream in(p.string(), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::optional<Model> ModelLoader::parse(const std::string& modelName, const std::string& text,
                                        const IncludeReader& include, std::string& error)
{
    Model model;
    model.name = modelName;
    Parser parser(model, include, error);
    if (!parser.run(splitLines(text, modelName + ".params"), 0))
        return std::nullopt;
    return model;
}

std::optional<Model> ModelLoader::load(const std::string& dataDir, const std::string& modelName,
                                       std::string& error)
{
    namespace fs = boost::filesystem;
    const auto names = listModels(dataDir);
    const auto it = std::find(names.begin(), names.end(), modelName);
    if (it == names.end()) {
        error = "unknown model '" + modelName + "' (see --list-models)";
        return std::nullopt;
    }
    const auto text = readFile(fs::path(dataDir) / "models" / (modelName + ".params"));
    if (!text) {
        error = "cannot read model file for '" + modelName + "'";
        return std::nullopt;
    }
    IncludeReader include = [dataDir](const std::string& file) -> std::optional<std::string> {
        if (file.find("..") != std::string::npos)
            return std::nullopt;
        return readFile(fs::path(dataDir) / "common" / file);
    };
    return parse(modelName, *text, include, error);
}

std::vector<std::string> ModelLoader::listModels(const std::string& dataDir)
{
    namespace fs = boost::filesystem;
    std::vector<std::string> names;
    boost::system::error_code ec;
    for (fs::directory_iterator it(fs::path(dataDir) / "models", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().extension() == ".params")
            names.push_back(it->path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace Camsim
