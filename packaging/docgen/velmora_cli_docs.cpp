// Writes velmora-cli's manual page (roff) and bash completion from the
// program's own CLI11 declarations, so that neither drifts from the program.
// Usage: velmora-cli-docs man|bash OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "config/BuildInfo.h"

namespace {

using velmora::cli::CliDeclarations;

bool IsPodOption(const CLI::Option* o) {
  return o->get_group().rfind("Pod and target", 0) == 0;
}

// The commands in declaration order, nested ones after their parent, with
// their full names ("flash write").
std::vector<std::pair<std::string, CLI::App*>> Commands(CLI::App& root) {
  std::vector<std::pair<std::string, CLI::App*>> list;
  for (CLI::App* c : root.get_subcommands({})) {
    list.emplace_back(c->get_name(), c);
    for (CLI::App* s : c->get_subcommands({}))
      list.emplace_back(c->get_name() + " " + s->get_name(), s);
  }
  return list;
}

std::vector<CLI::Option*> OwnOptions(CLI::App& app, bool positional) {
  return app.get_options([&](CLI::Option* o) {
    return o->get_positional() == positional && o != app.get_help_ptr() && !IsPodOption(o) &&
           o->get_name() != "--version";
  });
}

std::vector<std::string> Names(const CLI::Option* o) {
  std::vector<std::string> names;
  std::stringstream all(o->get_name(false, true));
  for (std::string n; std::getline(all, n, ',');) names.push_back(n);
  return names;
}

// ------------------------------------------------------------ manual page

std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

// Lines that start with blanks are laid out as they stand; the rest is
// filled. A summary line (a command's first) and the exit statuses stand apart.
std::string RoffParagraphs(const std::string& text, bool summary = false) {
  std::string out;
  bool fixed = false;
  std::stringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Exit status", 0) == 0 && !out.empty()) out += ".PP\n";
    const bool indented = line.rfind("  ", 0) == 0;
    if (indented != fixed) out += indented ? ".nf\n" : ".fi\n";
    fixed = indented;
    out += Roff(line) + "\n";
    if (summary) out += ".PP\n";
    summary = false;
  }
  if (fixed) out += ".fi\n";
  return out;
}

std::string RoffOption(const CLI::Option* o) {
  std::string out = ".TP\n";
  if (o->get_positional()) {
    out += "\\fI" + Roff(o->get_name()) + "\\fR\n";
  } else {
    const std::vector<std::string> names = Names(o);
    for (size_t i = 0; i < names.size(); ++i)
      out += (i ? ", " : "") + std::string("\\fB") + Roff(names[i]) + "\\fR";
    const std::string& text = o->get_option_text();
    if (!text.empty())
      out += (text[0] == '=' ? "" : " ") + std::string("\\fI") + Roff(text) + "\\fR";
    out += "\n";
  }
  return out + Roff(o->get_description()) + "\n";
}

std::string ManPage(CliDeclarations& d) {
  CLI::App& root = *d.app;
  const std::string podHelp = velmora::cli::PodOptionsHelp(root);
  auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(root.get_formatter());
  std::ostringstream m;
  m << ".TH VELMORA\\-CLI 1 \"\" \"Velmora UT " << velmora::BuildVersion()
    << "\" \"User Commands\"\n"
    << ".SH NAME\nvelmora\\-cli \\- load, boot, flash and watch TMS320C3x boards from the "
       "command line\n"
    << ".SH SYNOPSIS\n.B velmora\\-cli\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
    << ".SH DESCRIPTION\n"
    << RoffParagraphs(root.get_description()) << ".SH OPTIONS\n";
  for (CLI::Option* o : root.get_options([](CLI::Option* o) { return !IsPodOption(o); }))
    m << RoffOption(o);
  const auto pod = root.get_options(IsPodOption);
  m << ".SS \"" << Roff(pod.front()->get_group()) << "\"\n"
    << "Commands that talk to the pod or read the settings use them; the others "
       "accept and ignore them.\n";
  for (CLI::Option* o : pod) m << RoffOption(o);

  m << ".SH COMMANDS\n";
  for (auto& [name, c] : Commands(root)) {
    std::string usage = formatter->make_usage(c, "velmora-cli " + name);
    usage = usage.substr(usage.find(':') + 2);
    usage.erase(usage.find_last_not_of('\n') + 1);
    m << ".SS \"" << Roff(usage) << "\"\n" << RoffParagraphs(c->get_description(), true);
    for (CLI::Option* o : OwnOptions(*c, true)) m << RoffOption(o);
    for (CLI::Option* o : OwnOptions(*c, false)) m << RoffOption(o);
    std::string footer = c->get_footer();
    const bool usesPod = footer.rfind(podHelp, 0) == 0;
    if (usesPod) footer = footer.substr(podHelp.size());
    footer.erase(0, footer.find_first_not_of('\n'));
    const bool targetStatus = footer == velmora::cli::kTargetExitStatus;
    if (usesPod || !footer.empty()) m << ".PP\n";
    if (usesPod) m << "Takes the pod and target options.\n";
    if (targetStatus)
      m << "Exit statuses as under EXIT STATUS.\n";
    else if (!footer.empty())
      m << RoffParagraphs(footer);
  }
  m << ".SH EXIT STATUS\n"
    << RoffParagraphs(velmora::cli::kTargetExitStatus) << "The other commands give theirs above.\n"
    << ".SH ENVIRONMENT\n"
    << ".TP\n.B VELMORA_POD\nthe pod backend when \\fB\\-\\-pod\\fR is not given\n"
    << ".TP\n.B VELMORA_SETTINGS\nthe settings file when \\fB\\-\\-settings\\fR is not given\n"
    << ".SH FILES\n"
    << ".TP\n.I ~/.config/Kelvaro/Velmora UT Ver2.24.conf\nthe settings the desktop program "
       "keeps; read, never written\n"
    << ".TP\n.I ~/.local/share/velmora/sim\nthe virtual board's state (flash contents, board "
       "options)\n"
    << ".SH EXAMPLES\n.nf\n"
    << "velmora\\-cli \\-\\-pod=sim flash write /usr/share/doc/velmora/examples/demo/demo.out\n"
    << "velmora\\-cli \\-\\-pod=sim read counter \\-\\-coff "
       "/usr/share/doc/velmora/examples/demo/demo.out\n"
    << "velmora\\-cli \\-\\-dsp c31 info program.out \\-\\-json\n"
    << ".fi\n.SH SEE ALSO\n.BR velmora (1)\n";
  return m.str();
}

// --------------------------------------------------------- bash completion

// What an option's value is: a list of words, a file, a folder, or free text.
std::string ValueKind(CLI::Option* o) {
  try {
    const std::string list = o->get_validator("choices")->get_description();
    std::string words = list;
    for (char& c : words)
      if (c == '|') c = ' ';
    return "words " + words;
  } catch (const CLI::OptionNotFound&) {
  }
  const std::string& text = o->get_option_text();
  if (text == "DIR") return "dir";
  if (text.find("FILE") != std::string::npos || text.find('.') != std::string::npos) return "file";
  return "text";
}

std::string BashCompletion(CliDeclarations& d) {
  CLI::App& root = *d.app;
  std::ostringstream commands, options, values;
  auto words = [](const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& w : list) out += (out.empty() ? "" : " ") + w;
    return out;
  };
  auto addOptions = [&](const std::string& path, CLI::App& app, bool pod) {
    std::vector<std::string> names;
    for (CLI::Option* o : app.get_options([&](CLI::Option* o) {
           return !o->get_positional() && (pod ? IsPodOption(o) : !IsPodOption(o));
         })) {
      for (const std::string& n : Names(o)) {
        // The board's settings are --sim-KEY=VALUE: offer the prefix.
        names.push_back(n == "--sim-KEY" ? "--sim-" : n);
        if (o->get_expected_max() != 0 && n != "--sim-KEY")
          values << "    \"" << path << ' ' << n << "\") echo " << ValueKind(o) << " ;;\n";
      }
    }
    options << "    \"" << path << "\") echo " << words(names) << " ;;\n";
  };
  std::vector<std::string> top;
  for (auto& [name, c] : Commands(root)) {
    std::vector<std::string> subs;
    for (CLI::App* s : c->get_subcommands({})) subs.push_back(s->get_name());
    if (!subs.empty()) commands << "    \"" << name << "\") echo " << words(subs) << " ;;\n";
    if (name.find(' ') == std::string::npos) top.push_back(name);
    addOptions(name, *c, false);
  }
  commands << "    \"\") echo " << words(top) << " ;;\n";
  addOptions("", root, false);
  addOptions("*", root, true);

  std::ostringstream b;
  b << "# bash completion for velmora-cli, generated from its command-line declarations.\n"
    << "# Needs nothing from the bash-completion package beyond loading this file.\n\n"
    << "__velmora_cli_commands() {\n  case \"$1\" in\n"
    << commands.str() << "  esac\n}\n\n"
    << "__velmora_cli_options() {\n  case \"$1\" in\n"
    << options.str() << "  esac\n}\n\n"
    << "# The value of an option: words LIST, file, dir or text; nothing for a flag.\n"
    << "__velmora_cli_value() {\n  case \"$1\" in\n"
    << values.str() << "  esac\n}\n\n"
    << R"BASH(__velmora_cli_value_of() {
  local kind
  kind=$(__velmora_cli_value "$1 $2")
  [[ -z $kind ]] && kind=$(__velmora_cli_value "* $2")
  printf '%s' "$kind"
}

_velmora_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} i=1 word path="" option="" kind
  # COMP_WORDBREAKS splits --name=value into --name, = and value.
  if [[ $cur == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD-1]}
    cur=""
  elif ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[COMP_CWORD-1]} == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD-2]}
  elif [[ $cur == --*=* ]]; then
    option=${cur%%=*}
    cur=${cur#*=}
  fi
  while ((i < COMP_CWORD)); do
    word=${COMP_WORDS[i]}
    if [[ $word == -* ]]; then
      if [[ ${COMP_WORDS[i+1]} == "=" ]]; then
        ((i += 2))
      elif [[ $word != *=* && -n $(__velmora_cli_value_of "$path" "$word") ]]; then
        ((i++))
      fi
    elif [[ " $(__velmora_cli_commands "$path") " == *" $word "* ]]; then
      path=${path:+$path }$word
    fi
    ((i++))
  done
  if [[ -z $option ]] && ((COMP_CWORD > 1)); then
    word=${COMP_WORDS[COMP_CWORD-1]}
    [[ $word == -* && $word != *=* && -n $(__velmora_cli_value_of "$path" "$word") ]] && option=$word
  fi
  if [[ -n $option ]]; then
    kind=$(__velmora_cli_value_of "$path" "$option")
    case $kind in
      words\ *) mapfile -t COMPREPLY < <(compgen -W "${kind#words }" -- "$cur") ;;
      file) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
      dir) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
      *) COMPREPLY=() ;;
    esac
    return
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(__velmora_cli_options "$path") $(__velmora_cli_options "*")" -- "$cur")
    [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == --sim- ]] && compopt -o nospace 2>/dev/null
    return
  fi
  mapfile -t COMPREPLY < <(compgen -W "$(__velmora_cli_commands "$path")" -- "$cur")
  if [[ -n $path && ${#COMPREPLY[@]} == 0 ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _velmora_cli velmora-cli
)BASH";
  return b.str();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "man" && what != "bash") {
    std::cerr << "usage: velmora-cli-docs man|bash OUTPUT\n";
    return 2;
  }
  CliDeclarations d = velmora::cli::DeclareCli();
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << (what == "man" ? ManPage(d) : BashCompletion(d));
  out.close();
  if (!out) {
    std::cerr << argv[2] << ": cannot be written\n";
    return 1;
  }
  return 0;
}
