#include "app/daemon/QuorixOptions.h"

#include <charconv>

namespace {

bool ParsePort(std::string_view text, int& port) {
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), port);
  return problem == std::errc() && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

}  // namespace

std::string QuorixUsageText() {
  return "Usage: quorix --headless [--port N] [--registry FILE]\n"
         "       quorix account list [--registry FILE]\n"
         "       quorix account add HOST[:PORT] [--profile NAME] [--tls MODE]\n"
         "                          [--ca-file FILE] [--registry FILE]\n"
         "       quorix account remove HOST [--registry FILE]\n"
         "\n"
         "Quorix is a POP3 proxy that makes downloaded mail safe to open. Point the mail\n"
         "program at the server HOST.qx and the port Quorix listens on (ListenPort, 110\n"
         "unless changed); Quorix fetches the mail from HOST and filters every message.\n"
         "\n"
         "  --headless       run in the foreground without windows, writing every status\n"
         "                   line to standard output (errors also to standard error);\n"
         "                   SIGTERM or SIGINT stops it after the running downloads,\n"
         "                   SIGHUP reloads the settings file and the hosts file\n"
         "  --port N         listen on port N for this run, whatever the settings say\n"
         "  --registry FILE  the settings file (default: $QUORIX_REGISTRY, else\n"
         "                   $XDG_CONFIG_HOME/quorix/registry.reg)\n"
         "  --profile NAME   the security profile of a new account (default: Medium)\n"
         "  --tls MODE       how a new account's server is reached: implicit (TLS from\n"
         "                   the start, the default on port 995), stls (plain connect,\n"
         "                   then STLS; the default on every other port) or none (plain\n"
         "                   text: the password crosses the network readable)\n"
         "  --help           show this text\n"
         "\n"
         "account add and account remove save the settings and bring Quorix's block in the\n"
         "hosts file ($QUORIX_HOSTS_DIR/hosts, else /etc/hosts) in line with the accounts;\n"
         "changing the hosts file usually needs root: when it is not writable nothing is\n"
         "changed and the command to run with sudo is shown. A running quorix --headless\n"
         "is sent SIGHUP (its process id is in quorix.pid beside its lock in\n"
         "$XDG_RUNTIME_DIR), so it serves the new account at once.\n"
         "\n"
         "Exit status: 0 done, 1 failed (the reason is on standard error) or another copy\n"
         "is running (it was asked to come forward), 2 the command line is wrong.\n";
}

TQuorixOptions ParseQuorixOptions(const std::vector<std::string_view>& arguments, std::string& error) {
  TQuorixOptions options;
  const auto fail = [&](std::string text) {
    if (error.empty()) {
      error = std::move(text);
    }
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    std::optional<std::string_view> inlineValue;
    if (argument.starts_with("--")) {
      if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
        inlineValue = argument.substr(equals + 1);
        argument = argument.substr(0, equals);
      }
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) {
        return std::string(*inlineValue);
      }
      if (i + 1 >= arguments.size()) {
        fail("the option " + std::string(argument) + " needs a value");
        return std::nullopt;
      }
      return std::string(arguments[++i]);
    };
    if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--headless") {
      options.Headless = true;
    } else if (argument == "--registry") {
      options.RegistryFile = value();
    } else if (argument == "--profile") {
      options.Profile = value();
    } else if (argument == "--tls") {
      options.Tls = value();
    } else if (argument == "--ca-file") {
      options.CaFile = value();
    } else if (argument == "--port") {
      if (const auto text = value()) {
        int port = 0;
        if (ParsePort(*text, port)) {
          options.Port = port;
        } else {
          fail("the port '" + *text + "' is not a number from 1 to 65535");
        }
      }
    } else if (argument.starts_with("--")) {
      fail("unknown option " + std::string(argument));
    } else {
      options.Words.emplace_back(argument);
    }
  }
  if (options.IsAccountCommand()) {
    if (options.Headless || options.Port) {
      fail("--headless and --port belong to the daemon, not to the account command");
    }
  } else if (options.Profile) {
    fail("--profile belongs to quorix account add");
  } else if (options.Tls) {
    fail("--tls belongs to quorix account add");
  } else if (options.CaFile) {
    fail("--ca-file belongs to quorix account add");
  } else if (options.Headless && !options.Words.empty()) {
    fail("unexpected argument '" + options.Words[0] + "'");
  }
  return options;
}
