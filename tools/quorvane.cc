// quorvane: drives the plugin library without an application, playing the
// engine and the application side of the "quorvane" channel.
//
//   quorvane get-certificate PATH [--password PW | --password-file FILE |
//                                  --password-stdin] [--json] [--pem-dir DIR]
//   quorvane send --channel NAME --hex BYTES
//
// Exit status: 0 success, 1 the plugin answered with an error, 2 usage
// errors, unreadable files or a plugin that does not load.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host_platform.h"
#include "plugin_host.h"

namespace {

constexpr char kVersion[] = "quorvane 0.1.0";
constexpr int kOk = 0;
constexpr int kErrorReply = 1;
constexpr int kUsage = 2;

bool trace_engine = false;

// With --trace: every engine call the exchange made, on standard error.
void PrintEngineTrace() {
  if (!trace_engine) {
    return;
  }
  for (const std::string& call : quorvane_engine::CallLog()) {
    std::cerr << "engine: " << call << "\n";
  }
  std::cerr.flush();
}

int Fail(const std::string& line) {
  std::cerr << "quorvane: " << line << std::endl;
  return kUsage;
}

struct CertificateOptions {
  std::string path;
  std::string password;
  std::string password_file;
  bool password_stdin = false;
  bool json = false;
  std::string pem_dir;
  bool force = false;
};

const std::string& Text(const flutter::EncodableValueMap& map,
                        const char* key) {
  static const std::string kNone;
  const auto found = map.find(flutter::EncodableValue(key));
  if (found == map.end()) {
    return kNone;
  }
  const auto* text = found->second.TryGet<std::string>();
  return text == nullptr ? kNone : *text;
}

size_t CountPemBlocks(const std::string& pem) {
  size_t count = 0;
  for (size_t at = pem.find("-----BEGIN "); at != std::string::npos;
       at = pem.find("-----BEGIN ", at + 1)) {
    ++count;
  }
  return count;
}

// The password from whichever source was given; none when unreadable.
std::optional<std::string> ReadPassword(const CertificateOptions& options) {
  if (!options.password_file.empty()) {
    std::string error;
    const auto bytes =
        quorvane_host::ReadWholeFile(options.password_file, &error);
    if (!bytes) {
      Fail(error);
      return std::nullopt;
    }
    std::string password(bytes->begin(), bytes->end());
    if (!password.empty() && password.back() == '\n') {
      password.pop_back();
    }
    if (!password.empty() && password.back() == '\r') {
      password.pop_back();
    }
    return password;
  }
  if (options.password_stdin) {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') {
      password.pop_back();
    }
    return password;
  }
  return options.password;
}

bool WritePemFiles(const std::string& dir,
                   const flutter::EncodableValueMap& reply, bool force) {
  struct File {
    const char* name;
    const char* key;
    bool owner_only;
  };
  const File files[] = {{"cert.pem", "rootCertBase64", false},
                        {"chain.pem", "chainCertBase64", false},
                        {"key.pem", "privateKeyCertBase64", true}};
  for (const File& file : files) {
    std::string error;
    if (!quorvane_host::WriteNewFile(dir + "/" + file.name,
                                     Text(reply, file.key), file.owner_only,
                                     force, &error)) {
      Fail(error);
      return false;
    }
  }
  return true;
}

int GetCertificate(const std::string& plugin_path,
                   const CertificateOptions& options) {
  std::string error;
  const auto bytes = quorvane_host::ReadWholeFile(options.path, &error);
  if (!bytes) {
    return Fail(error);
  }
  const auto password = ReadPassword(options);
  if (!password) {
    return kUsage;
  }
  const auto register_plugin = quorvane_host::LoadPlugin(plugin_path, &error);
  if (register_plugin == nullptr) {
    return Fail(error);
  }
  quorvane_host::PluginHost host(register_plugin);
  quorvane_engine::ClearCallLog();
  const auto outcome =
      host.Call("quorvane", "getCertificate",
                flutter::EncodableValueMap{{"certificate", *bytes},
                                           {"password", *password}});

  PrintEngineTrace();
  using Kind = quorvane_host::Outcome::Kind;
  const auto dump = [](const nlohmann::json& object) {
    std::cout << object.dump(2, ' ', false,
                             nlohmann::json::error_handler_t::replace)
              << std::endl;
  };
  if (outcome.kind == Kind::kError) {
    if (options.json) {
      dump({{"code", outcome.code}, {"message", outcome.message}});
    } else {
      std::cerr << "quorvane: " << outcome.code << ": " << outcome.message
                << std::endl;
    }
    return kErrorReply;
  }
  const auto* reply = outcome.value.TryGet<flutter::EncodableValueMap>();
  if (outcome.kind != Kind::kSuccess || reply == nullptr) {
    std::cerr << "quorvane: the plugin gave no certificate answer" << std::endl;
    return kErrorReply;
  }
  if (!options.pem_dir.empty() &&
      !WritePemFiles(options.pem_dir, *reply, options.force)) {
    return kUsage;
  }
  if (options.json) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, value] : *reply) {
      const auto* name = key.TryGet<std::string>();
      const auto* text = value.TryGet<std::string>();
      if (name != nullptr && text != nullptr) {
        object[*name] = *text;
      }
    }
    dump(object);
    return kOk;
  }
  const std::string& expiry = Text(*reply, "expirationTime");
  int64_t seconds = 0;
  try {
    seconds = std::stoll(expiry);
  } catch (const std::exception&) {
  }
  const size_t certificates = CountPemBlocks(Text(*reply, "chainCertBase64"));
  std::cout << "subject:  "
            << (Text(*reply, "subject").empty() ? "(no common name)"
                                                : Text(*reply, "subject"))
            << "\nexpires:  " << quorvane_host::NotAfterUtc(seconds) << " ("
            << expiry << ")\nchain:    " << certificates
            << (certificates == 1 ? " certificate" : " certificates")
            << " (the certificate"
            << (certificates > 1
                    ? " and " + std::to_string(certificates - 1) + " authorit" +
                          (certificates == 2 ? "y" : "ies")
                    : std::string())
            << ")\nPEM:      "
            << (options.pem_dir.empty()
                    ? std::string("not written (--pem-dir DIR writes them)")
                    : "cert.pem, chain.pem, key.pem (owner only) in " +
                          options.pem_dir)
            << std::endl;
  return kOk;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      continue;
    }
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      return std::nullopt;
    }
    const int nibble =
        std::isdigit(static_cast<unsigned char>(c)) != 0
            ? c - '0'
            : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + nibble));
      high = -1;
    }
  }
  if (high >= 0) {
    return std::nullopt;
  }
  return bytes;
}

int Send(const std::string& plugin_path, const std::string& channel,
         const std::string& hex) {
  const auto message = ParseHex(hex);
  if (!message) {
    return Fail(
        "--hex takes pairs of hexadecimal digits, e.g. \"07 01 6D 00\"");
  }
  std::string error;
  const auto register_plugin = quorvane_host::LoadPlugin(plugin_path, &error);
  if (register_plugin == nullptr) {
    return Fail(error);
  }
  quorvane_host::PluginHost host(register_plugin);
  quorvane_engine::ClearCallLog();
  const auto response = host.Send(channel, *message);
  PrintEngineTrace();
  if (!response) {
    std::cout << "no response" << std::endl;
  } else if (response->empty()) {
    std::cout << "empty response" << std::endl;
  } else {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line;
    for (uint8_t byte : *response) {
      line += line.empty() ? "" : " ";
      line += kDigits[byte >> 4];
      line += kDigits[byte & 15];
    }
    std::cout << line << std::endl;
  }
  return kOk;
}

int Main(int argc, char** argv) {
  CLI::App app{"Drives the quorvane plugin library without an application."};
  // CLI11 would read "/path" as an option on Windows.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  std::string plugin_path = QUORVANE_DEFAULT_PLUGIN;
  app.add_option("--plugin", plugin_path, "The plugin library to load");
  app.add_flag("--trace", trace_engine,
               "Print every engine call of the exchange on standard error");

  CertificateOptions certificate;
  auto* get = app.add_subcommand("get-certificate",
                                 "Open a PKCS#12 container through the plugin");
  get->add_option("PATH", certificate.path, "The container")->required();
  auto* password =
      get->add_option("--password", certificate.password,
                      "The password (visible to other users; prefer "
                      "--password-file or --password-stdin)");
  auto* password_file =
      get->add_option("--password-file", certificate.password_file,
                      "Read the password from a file");
  auto* password_stdin =
      get->add_flag("--password-stdin", certificate.password_stdin,
                    "Read the password from standard input");
  password->excludes(password_file)->excludes(password_stdin);
  password_file->excludes(password_stdin);
  get->add_flag("--json", certificate.json,
                "Print the answer as one JSON object");
  get->add_option("--pem-dir", certificate.pem_dir,
                  "Write cert.pem, chain.pem and key.pem (owner only) there");
  get->add_flag("--force", certificate.force, "Replace existing PEM files");

  std::string channel;
  std::string hex;
  auto* send = app.add_subcommand(
      "send", "Deliver raw message bytes on a channel and print the reply");
  send->add_option("--channel", channel, "The channel name")->required();
  send->add_option("--hex", hex, "The message, in hexadecimal")->required();

  try {
    std::vector<std::string> arguments =
        quorvane_host::Utf8Arguments(argc, argv);
    std::reverse(arguments.begin(), arguments.end());
    arguments.pop_back();  // the program's own name
    app.parse(arguments);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    return Fail(std::string(error.what()) + " (see --help)");
  }
  try {
    if (get->parsed()) {
      return GetCertificate(plugin_path, certificate);
    }
    return Send(plugin_path, channel, hex);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (...) {
    std::cerr << "quorvane: internal error" << std::endl;
    return kUsage;
  }
}
