#include "help_pages.h"

#include <cstdio>
#include <map>

namespace vorlan::cli {

namespace {

std::vector<const CLI::App*> Commands(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App*) { return true; });
}

// Visible: options shown by --help (a hidden option has an empty group).
std::vector<const CLI::Option*> Visible(const CLI::App& app) {
    return app.get_options([](const CLI::Option* o) { return !o->get_group().empty(); });
}

// Roff: a text with roff's special characters escaped; no line may start with a control dot.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
        if (c == '\n') out += "\\&";
    }
    return out.empty() || (out[0] != '.' && out[0] != '\'') ? out : "\\&" + out;
}

std::string OptionTerm(const CLI::Option& o) {
    if (!o.nonpositional()) return "\\fI" + Roff(o.get_name(true)) + "\\fR";
    std::string term;
    for (const std::string& s : o.get_snames()) term += (term.empty() ? "" : ", ") + ("\\fB\\-" + Roff(s) + "\\fR");
    for (const std::string& l : o.get_lnames()) term += (term.empty() ? "" : ", ") + ("\\fB\\-\\-" + Roff(l) + "\\fR");
    if (o.get_expected_max() > 0 && !o.get_type_name().empty()) term += " \\fI" + Roff(o.get_type_name()) + "\\fR";
    return term;
}

void Options(std::string& page, const CLI::App& app) {
    for (const CLI::Option* o : Visible(app)) {
        std::string text = o->get_description();
        if (!o->get_envname().empty()) text += " (environment: " + o->get_envname() + ")";
        page += ".TP\n" + OptionTerm(*o) + "\n" + Roff(text) + "\n";
    }
}

void Command(std::string& page, const CLI::App& command, const std::string& path) {
    const std::string name = path + " " + command.get_name();
    std::string usage;
    for (const CLI::Option* o : Visible(command))
        if (!o->nonpositional()) usage += " " + o->get_name(true);
    page += ".SS \"" + Roff(name) + (Visible(command).empty() ? "" : " [options]") + Roff(usage) + "\"\n" +
            Roff(command.get_description()) + "\n";
    Options(page, command);
    for (const CLI::App* sub : Commands(command)) Command(page, *sub, name);
}

// Paths: every command path ("", " cert", " cert list", ...) with the words that may follow it.
void Paths(const CLI::App& app, const std::string& path, std::map<std::string, std::string>& words) {
    std::string& here = words[path];
    for (const CLI::Option* o : Visible(app)) {
        for (const std::string& s : o->get_snames()) here += " -" + s;
        for (const std::string& l : o->get_lnames()) here += " --" + l;
    }
    for (const CLI::App* sub : Commands(app)) {
        here += " " + sub->get_name();
        Paths(*sub, path + " " + sub->get_name(), words);
    }
}

}  // namespace

std::string ManPage(const CLI::App& app, const std::string& version, const std::vector<ManSection>& sections) {
    const std::string name = app.get_name();
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::string page = ".TH " + Roff(upper) + " 1 \"\" \"" + Roff(name + " " + version) + "\" \"User Commands\"\n";
    const std::string description = app.get_description();
    // The name line: the description's first sentence without the program's name before it.
    const auto colon = description.find(": ");
    const std::string summary =
        colon == std::string::npos ? description : description.substr(colon + 2, description.find(". ") - colon - 2);
    page += ".SH NAME\n" + Roff(name) + " \\- " + Roff(summary) + "\n";
    page += ".SH SYNOPSIS\n.B " + Roff(name) + "\n[\\fIoptions\\fR]";
    if (!Commands(app).empty()) page += " \\fIcommand\\fR [\\fIcommand options\\fR]";
    for (const CLI::Option* o : Visible(app))
        if (!o->nonpositional()) page += " \\fI" + Roff(o->get_name(true)) + "\\fR";
    page += "\n.SH DESCRIPTION\n" + Roff(description) + "\n.SH OPTIONS\n";
    Options(page, app);
    if (!Commands(app).empty()) {
        page += ".SH COMMANDS\n";
        for (const CLI::App* command : Commands(app)) Command(page, *command, name);
    }
    for (const auto& [heading, text] : sections) {
        page += ".SH " + Roff(heading) + "\n";
        for (std::size_t at = 0; at <= text.size();) {
            const auto end = std::min(text.find("\n\n", at), text.size());
            page += Roff(text.substr(at, end - at)) + "\n.PP\n";
            at = end + 2;
        }
    }
    return page;
}

std::string BashCompletion(const CLI::App& app) {
    std::map<std::string, std::string> words;
    Paths(app, "", words);
    const std::string name = app.get_name();
    std::string function = "_" + name;
    for (char& c : function)
        if (c == '-') c = '_';
    std::string known, table;
    for (const auto& [path, list] : words) {
        if (!path.empty()) known += (known.empty() ? "" : "|") + ("\"" + path + "\"");
        table += "    \"" + path + "\") words=\"" + list.substr(list.empty() ? 0 : 1) + "\" ;;\n";
    }
    std::string script = "# bash completion for " + name + ": its commands and options, file names elsewhere\n" + function +
                         "() {\n    local cur=${COMP_WORDS[COMP_CWORD]} path= words= i\n";
    if (!known.empty())
        script += "    for ((i = 1; i < COMP_CWORD; i++)); do\n        case \"$path ${COMP_WORDS[i]}\" in\n        " + known +
                  ") path=\"$path ${COMP_WORDS[i]}\" ;;\n        esac\n    done\n";
    script += "    case \"$path\" in\n" + table + "    esac\n    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n}\n";
    return script + "complete -o default -F " + function + " " + name + "\n";
}

void AddHelpExports(CLI::App& app, const std::string& version, const std::vector<ManSection>& sections) {
    app.add_flag_callback("--man-page", [&app, version, sections] {
           std::fputs(ManPage(app, version, sections).c_str(), stdout);
           throw CLI::Success();
       })->group("");
    app.add_flag_callback("--bash-completion", [&app] {
           std::fputs(BashCompletion(app).c_str(), stdout);
           throw CLI::Success();
       })->group("");
}

}  // namespace vorlan::cli
