#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quorvane_testing {
namespace {

// Everything the command writes to its standard output.
std::string ReadAll(FILE* pipe) {
  std::string output;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, n);
  }
  return output;
}

}  // namespace

#if defined(_WIN32)

namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), n);
  return wide;
}

// The mapped image of a library loaded for inspection only.
const BYTE* MappedImage(const std::string& path, std::string* error) {
  HMODULE module =
      LoadLibraryExW(Wide(path).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (module == nullptr) {
    *error = "cannot load " + path;
  }
  return reinterpret_cast<const BYTE*>(module);
}

const IMAGE_DATA_DIRECTORY& Directory(const BYTE* image, int index) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS64*>(image + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[index];
}

}  // namespace

std::string QuoteArgument(const std::string& text) {
  // The C runtime's rules: backslashes are literal unless they precede a
  // quote, so those before a quote (and before the closing one) double.
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

int RunCommand(const std::string& command, std::string* output) {
  // cmd /c drops the first and last quote of a line that starts with one,
  // so the whole line goes in one more pair.
  FILE* pipe = _wpopen(Wide("\"" + command + "\"").c_str(), L"rb");
  if (pipe == nullptr) {
    return -1;
  }
  *output = ReadAll(pipe);
  return _pclose(pipe);  // the exit code itself
}

const char* NullDevice() { return "NUL"; }

void SetEnvironment(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}

void UnsetEnvironment(const char* name) { _putenv_s(name, ""); }

void ReloadTimeZone() { _tzset(); }

int ProcessId() { return _getpid(); }

bool HasPosixFiles(std::string* reason) {
  *reason =
      "Windows: symbolic links need a privilege, and POSIX permission bits "
      "do not exist (access is governed by ACLs)";
  return false;
}

std::set<std::string> ExportedNames(const std::string& path,
                                    std::string* error) {
  std::set<std::string> names;
  const BYTE* image = MappedImage(path, error);
  if (image == nullptr) {
    return names;
  }
  const auto& entry = Directory(image, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (entry.Size == 0) {
    return names;
  }
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
      image + entry.VirtualAddress);
  const auto* rvas =
      reinterpret_cast<const DWORD*>(image + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.insert(reinterpret_cast<const char*>(image + rvas[i]));
  }
  return names;
}

std::vector<std::string> ImportedLibraries(const std::string& path,
                                           std::string* error) {
  std::vector<std::string> names;
  const BYTE* image = MappedImage(path, error);
  if (image == nullptr) {
    return names;
  }
  const auto& entry = Directory(image, IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           image + entry.VirtualAddress);
       entry.Size != 0 && import->Name != 0; ++import) {
    std::string name(reinterpret_cast<const char*>(image + import->Name));
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    names.push_back(name);
  }
  return names;
}

#else

std::string QuoteArgument(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return -1;
  }
  *output = ReadAll(pipe);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* NullDevice() { return "/dev/null"; }

void SetEnvironment(const char* name, const std::string& value) {
  setenv(name, value.c_str(), 1);
}

void UnsetEnvironment(const char* name) { unsetenv(name); }

void ReloadTimeZone() { tzset(); }

int ProcessId() { return static_cast<int>(getpid()); }

bool HasPosixFiles(std::string* reason) {
  reason->clear();
  return true;
}

std::set<std::string> ExportedNames(const std::string& path,
                                    std::string* error) {
  std::set<std::string> names;
  std::string listing;
  if (RunCommand("nm -D --defined-only " + QuoteArgument(path), &listing) !=
      0) {
    *error = "nm failed on " + path;
    return names;
  }
  size_t at = 0;
  while (at < listing.size()) {
    size_t end = listing.find('\n', at);
    end = end == std::string::npos ? listing.size() : end;
    const std::string line = listing.substr(at, end - at);
    if (!line.empty()) {
      names.insert(line.substr(line.rfind(' ') + 1));
    }
    at = end + 1;
  }
  return names;
}

std::vector<std::string> ImportedLibraries(const std::string& path,
                                           std::string* error) {
  *error = "import directories are a Windows notion; " + path + " is not a DLL";
  return {};
}

#endif

}  // namespace quorvane_testing
