#include "ParamFormat.h"

#include "HttpMessage.h"

namespace Camsim {

namespace {

std::string shownValue(const Param& p)
{
    return p.type.secret ? std::string(kSecretMask) : p.value;
}

// The canonical spelling of a parameter path, e.g. "brand.prodnbr" -> "Brand.ProdNbr".
std::string canonicalParamPath(const ParamTree& tree, const std::string& path, const Param& p)
{
    auto parts = splitParamPath(path);
    parts.pop_back();
    const std::string group = parts.empty() ? std::string() : tree.canonicalGroupPath(joinParamPath(parts, parts.size()));
    return group.empty() ? p.name : group + "." + p.name;
}

void indent(std::string& out, int depth) { out.append(static_cast<std::size_t>(depth) * 2, ' '); }

void writeType(std::string& out, const ParamType& t, int depth)
{
    indent(out, depth);
    out += "<type";
    if (t.readOnly)
        out += " readonly=\"true\"";
    if (t.constant)
        out += " const=\"true\"";
    if (t.hidden)
        out += " hidden=\"true\"";
    if (t.internal)
        out += " internal=\"true\"";
    if (t.dynamic)
        out += " dynamic=\"true\"";
    out += ">\n";
    indent(out, depth + 1);
    const std::string maxLen = t.maxLen ? " maxlen=\"" + std::to_string(*t.maxLen) + "\"" : "";
    switch (t.kind) {
    case ParamType::Kind::String:
        out += "<string" + maxLen + " />\n";
        break;
    case ParamType::Kind::Hostname:
        out += "<hostname" + maxLen + " />\n";
        break;
    case ParamType::Kind::Bool:
        out += "<bool true=\"" + xmlEscape(t.trueValue) + "\" false=\"" + xmlEscape(t.falseValue) + "\" />\n";
        break;
    case ParamType::Kind::Int:
        out += "<int";
        if (t.min)
            out += " min=\"" + std::to_string(*t.min) + "\"";
        if (t.max)
            out += " max=\"" + std::to_string(*t.max) + "\"";
        out += maxLen + " />\n";
        break;
    case ParamType::Kind::Enum:
        out += "<enum>\n";
        for (const auto& e : t.entries) {
            indent(out, depth + 2);
            out += "<entry value=\"" + xmlEscape(e.value) + "\"";
            if (!e.niceValue.empty())
                out += " niceValue=\"" + xmlEscape(e.niceValue) + "\"";
            out += " />\n";
        }
        indent(out, depth + 1);
        out += "</enum>\n";
        break;
    }
    indent(out, depth);
    out += "</type>\n";
}

void writeGroup(std::string& out, const ParamGroup& g, int depth)
{
    indent(out, depth);
    out += "<group name=\"" + xmlEscape(g.name) + "\">\n";
    for (const auto& p : g.params) {
        const std::string nice = p.type.niceName.empty() ? niceNameOf(p.name) : p.type.niceName;
        indent(out, depth + 1);
        out += "<parameter name=\"" + xmlEscape(p.name) + "\" value=\"" + xmlEscape(shownValue(p)) +
               "\" securityLevel=\"" + xmlEscape(p.type.securityLevel) + "\" niceName=\"" +
               xmlEscape(nice) + "\">\n";
        writeType(out, p.type, depth + 2);
        indent(out, depth + 1);
        out += "</parameter>\n";
    }
    for (const auto& sub : g.groups)
        writeGroup(out, sub, depth + 1);
    indent(out, depth);
    out += "</group>\n";
}

// Copies the selected subtree or parameter of source into target.
bool select(const ParamTree& source, ParamTree& target, const std::string& name)
{
    if (const ParamGroup* g = source.findGroup(name)) {
        const std::string canon = source.canonicalGroupPath(name);
        if (canon.empty()) {
            target.root() = *g;
            return true;
        }
        *target.ensureGroup(canon) = *g;
        return true;
    }
    if (const Param* p = source.findParam(name)) {
        const std::string canon = canonicalParamPath(source, name, *p);
        target.define(canon, p->value, p->type);
        return true;
    }
    return false;
}

} // namespace

std::string stripRoot(const std::string& name)
{
    if (name.size() >= 5 && iequals(name.substr(0, 5), "root."))
        return name.substr(5);
    return name;
}


std::string xmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string formatParamList(const Model& model, const std::vector<std::string>& groups)
{
    const ParamTree& tree = model.params;
    std::string out;
    auto emit = [&out](const std::string& prefix, const std::string& path, const Param& p) {
        out += prefix + path + "=" + shownValue(p) + "\n";
    };
    if (groups.empty()) {
        ParamTree::visit(tree.root(), "", [&](const std::string& path, const Param& p) { emit("root.", path, p); });
        return out;
    }
    bool afterError = false;
    for (const auto& requested : groups) {
        const std::string prefix = afterError && model.unprefixedAfterError ? "" : "root.";
        afterError = false;
        if (const ParamGroup* g = tree.findGroup(requested)) {
            ParamTree::visit(*g, tree.canonicalGroupPath(requested),
                             [&](const std::string& path, const Param& p) { emit(prefix, path, p); });
        } else if (const Param* p = tree.findParam(requested)) {
            emit(prefix, canonicalParamPath(tree, requested, *p), *p);
        } else {
            out += "# Error: Error -1 getting param in group '" + stripRoot(requested) + "'\n";
            afterError = true;
        }
    }
    return out;
}

std::string formatParamDefinitions(const Model& model, const std::vector<std::string>& groups)
{
    ParamTree selected;
    const ParamTree* tree = &model.params;
    if (!groups.empty()) {
        for (const auto& g : groups)
            select(model.params, selected, g);
        tree = &selected;
    }
    std::string out =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
        "<parameterDefinitions\n"
        "xmlns=\"http://www.axis.com/ParameterDefinitionsSchema\"\n"
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "xsi:schemaLocation=\"http://www.axis.com/ParameterDefinitionsSchema "
        "http://172.16.4.30/pub/parameterdefinitions.xsd\"\n"
        "version=\"1.0\">\n";
    out += "  <model>" + xmlEscape(model.value("Brand.ProdShortName")) + "</model>\n";
    out += "  <firmwareVersion>" + xmlEscape(model.value("Properties.Firmware.Version")) + "</firmwareVersion>\n";
    writeGroup(out, tree->root(), 1);
    out += "</parameterDefinitions>\n";
    return out;
}

} // namespace Camsim
