#include "Cli.h"
#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "PodOptions.h"
#include "config/BuildInfo.h"

#ifdef _WIN32
#include <io.h>
#define VELMORA_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define VELMORA_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) != 0)
#endif

namespace velmora::cli {

namespace {

std::vector<CommandSetup>& Setups() {
  static std::vector<CommandSetup> setups;
  return setups;
}

}  // namespace

const char* const kTargetExitStatus =
    "Exit status: 0 on success; 2 wrong usage; 3 unreadable COFF or output file;\n"
    "4 refused (no program, too big for the boot region, image read for another\n"
    "DSP type, flash loader not available); 10 + the procedure's result code\n"
    "(11 canceled, 12 serial boot download, 13 serial boot verify, 14 target reset,\n"
    "15 flash loader download, 16 erase, 17 flash write, 18 flash verify, 19 flash\n"
    "read); 30 no pod library, 31 no pod, 32 pod cannot be opened, 33 reset failed,\n"
    "34 a word transfer failed.\n";

namespace {

// Greedy word wrap; lines of text end with '\n' (not the last).
std::string Wrap(const std::string& text, size_t width) {
  std::string out, word;
  size_t column = 0;
  std::istringstream words(text);
  while (words >> word) {
    if (column > 0 && column + 1 + word.size() > width) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out;
}

// A command's description: its first line is the summary in the list of
// commands, the whole text heads its own help.
class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter() {
    column_width(24);
    label("SUBCOMMAND", "COMMAND");
    label("SUBCOMMANDS", "COMMAND");
  }
  std::string make_option_desc(const CLI::Option* o) const override {
    return Wrap(o->get_description(), 79 - column_width_);
  }
  // No type names: the option text says what a value is; positionals need none.
  std::string make_option_opts(const CLI::Option* o) const override {
    const std::string& text = o->get_option_text();
    if (o->get_positional()) return {};
    if (!text.empty() && text[0] == '=') return text;
    return CLI::Formatter::make_option_opts(o);
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    const std::string& d = sub->get_description();
    std::ostringstream out;
    CLI::detail::format_help(out, sub->get_name(), d.substr(0, d.find('\n')), column_width_);
    return out.str();
  }
};

std::string ChoiceList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : "|") + name;
  return list;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The deepest command the arguments chose.
const CLI::App* Chosen(const CLI::App& app) {
  const CLI::App* a = &app;
  while (!a->get_subcommands().empty()) a = a->get_subcommands().front();
  return a;
}

std::string ChosenName(const CLI::App& app) {
  std::string name;
  for (const CLI::App* a = Chosen(app); a->get_parent(); a = a->get_parent())
    name = " " + a->get_name() + name;
  return name;
}

// What went wrong, said in the terms of the command line.
std::string ErrorText(const CLI::ParseError& e, const CLI::App& app,
                      const std::vector<std::string>& args) {
  const std::string text = e.what();
  const std::vector<std::string> extras = app.remaining(true);
  // "--dsp: 1 required TYPE missing"
  const size_t colon = text.find(": 1 required ");
  if (text.rfind("--", 0) == 0 && colon != std::string::npos && text.size() > 8 &&
      text.compare(text.size() - 8, 8, " missing") == 0) {
    const std::string name = text.substr(0, colon);
    const CLI::Option* o = Chosen(app)->get_option_no_throw(name);
    if (!o) o = app.get_option_no_throw(name);
    return "option " + name + " needs a value" +
           (o && !o->get_option_text().empty() ? " (" + o->get_option_text() + ")" : "");
  }
  if (dynamic_cast<const CLI::RequiredError*>(&e) && Chosen(app) == &app && extras.empty())
    return "give a command";
  if (!dynamic_cast<const CLI::ExtrasError*>(&e) && (Chosen(app) != &app || extras.empty()))
    return text;
  if (extras.front().rfind("-", 0) == 0) return "unknown option '" + extras.front() + "'";
  // A word before the command (or without one) is taken for a command.
  const auto word = std::find(args.begin(), args.end(), extras.front());
  const auto command = Chosen(app) == &app ? args.end()
                                           : std::find(args.begin(), args.end(),
                                                       app.get_subcommands().front()->get_name());
  return (word < command ? "unknown command '" : "unexpected argument '") + extras.front() + "'";
}

}  // namespace

CommandRegistrar::CommandRegistrar(CommandSetup setup) {
  Setups().push_back(setup);
}

Invocation::Invocation(const CliEnv& env, const PodOptionValues& given)
    : env_(env),
      out_(env.out ? *env.out : std::cout),
      err_(env.err ? *env.err : std::cerr),
      given_(given) {}

Invocation::~Invocation() = default;

Clock& Invocation::TheClock() const {
  return env_.clock ? *env_.clock : SteadyClock::Instance();
}

bool Invocation::ProgressBar() const {
  return env_.progressBar.value_or(VELMORA_STDERR_IS_TERMINAL());
}

const PodOptions& Invocation::Pod() {
  if (!pod_) pod_ = std::make_unique<PodOptions>(ResolvePodOptions(given_, env_.store));
  return *pod_;
}

std::string PodOptionsHelp(const CLI::App& root) {
  const auto options = root.get_options(
      [](const CLI::Option* o) { return o->get_group().rfind("Pod and target", 0) == 0; });
  return HelpFormatter().make_group(options.front()->get_group(), false, options) + "\n";
}

void UsesPodOptions(CLI::App& command, std::string exitStatus) {
  command.footer(std::move(exitStatus));
  command.footer([&command] {
    const CLI::App* root = &command;
    while (root->get_parent()) root = root->get_parent();
    return PodOptionsHelp(*root);
  });
}

CLI::Validator Choice(std::vector<std::string> names,
                      std::vector<std::pair<std::string, int>> aliases) {
  for (size_t i = 0; i < names.size(); ++i) aliases.emplace_back(names[i], static_cast<int>(i));
  std::string list;
  for (size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return CLI::Validator(
      [aliases, list](std::string& value) -> std::string {
        for (const auto& [name, index] : aliases) {
          if (Lower(value) == name) {
            value = std::to_string(index);
            return {};
          }
        }
        return "'" + value + "' is not one of " + list;
      },
      ChoiceList(names), "choices");
}

CLI::Validator HexNumber() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        std::string digits = value;
        if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits.erase(0, 2);
        const bool hex = !digits.empty() && digits.size() <= 8 &&
                         digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!hex) return "'" + value + "' is not a hexadecimal value of up to 8 digits";
        value = std::to_string(std::stoul(digits, nullptr, 16));
        return {};
      },
      "");
}

std::string VersionText() {
  return std::string("velmora-cli ") + BuildVersion() + " (git " + BuildRevision() + ")";
}

CliDeclarations::CliDeclarations() = default;
CliDeclarations::CliDeclarations(CliDeclarations&&) noexcept = default;
CliDeclarations::~CliDeclarations() = default;

CliDeclarations DeclareCli() {
  CliDeclarations d;
  d.app = std::make_unique<CLI::App>(
      "velmora-cli: Velmora UT on the command line. Opens TI COFF files and serial-boots,\n"
      "flashes and watches TMS320C31/C32/C33 boards through the USB pod or the\n"
      "virtual board (--pod=sim).",
      "velmora-cli");
  CLI::App& app = *d.app;
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_version_flag("--version", VersionText(), "print the version and git revision and end");
  app.require_subcommand(1);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  d.given = std::make_unique<PodOptionValues>();
  AddPodOptions(app, *d.given);
  for (CommandSetup setup : Setups()) {
    CommandRun run = setup(app);
    CLI::App* added = app.get_subcommands({}).back();
    added->fallthrough()->group("Commands");
    // Nested commands (flash write) take the options of the program too.
    for (CLI::App* sub : added->get_subcommands({})) sub->fallthrough()->group("Actions");
    d.commands.emplace_back(added, std::move(run));
  }
  // Set last: commands inherit the footer in force when they are added.
  app.footer("Run 'velmora-cli COMMAND --help' for the options of a command.\n\n" +
             std::string(kTargetExitStatus) + "The other commands say theirs in their help.\n");
  return d;
}

int RunCli(std::vector<std::string> args, const CliEnv& env) {
  std::ostream& out = env.out ? *env.out : std::cout;
  std::ostream& err = env.err ? *env.err : std::cerr;
  CliDeclarations declared = DeclareCli();
  CLI::App& app = *declared.app;
  PodOptionValues& given = *declared.given;

  if (args.empty()) {
    out << app.help();
    return kExitUsage;
  }
  std::string error;
  if (!TakeSimBoardOptions(args, given.sim, error)) {
    err << "velmora-cli: " << error << "\n";
    return kExitUsage;
  }
  try {
    // CLI11 takes the arguments last first, and uses them up.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    const std::string chosen = ChosenName(app);
    err << "velmora-cli" << chosen << ": " << ErrorText(e, app, args) << "\n"
        << "Run 'velmora-cli" << chosen << " --help' for the options.\n";
    return kExitUsage;
  }
  for (auto& [command, run] : declared.commands) {
    if (!command->parsed()) continue;
    Invocation invocation(env, given);
    return run(invocation);
  }
  return kExitUsage;
}

}  // namespace velmora::cli
