#ifndef QUORVANE_TESTS_TESTING_PLATFORM_H_
#define QUORVANE_TESTS_TESTING_PLATFORM_H_

// The tests' one platform seam: processes, the environment, the time zone,
// and what a loaded library exports and imports. Everything the suite does
// differently on Windows (under wine) and on Linux is here.

#include <set>
#include <string>
#include <vector>

namespace quorvane_testing {

// The text as one argument word of a command line: single-quoted for sh,
// double-quoted for cmd and the C runtime's argument parser.
std::string QuoteArgument(const std::string& text);

// Runs `command` through the platform's command interpreter (sh -c, cmd /c;
// UTF-8 text reaches a Windows program as its wide command line), collects
// its standard output, and returns its exit status, or -1 when it could not
// run or did not exit normally.
int RunCommand(const std::string& command, std::string* output);

// The null device, for redirections in `RunCommand` command lines.
const char* NullDevice();

// Sets or removes an environment variable of this process (and so of the
// processes it starts). On Windows an empty value removes the variable.
void SetEnvironment(const char* name, const std::string& value);
void UnsetEnvironment(const char* name);
// Makes the C runtime read TZ again.
void ReloadTimeZone();

int ProcessId();

// True where the file system has symbolic links and POSIX permission bits
// that a test can rely on; false with the reason otherwise.
bool HasPosixFiles(std::string* reason);

// The names that the library at `path` exports, read from the loaded
// library itself on Windows (its export directory) and with `nm -D` here.
// Sets `error` and returns nothing when that fails.
std::set<std::string> ExportedNames(const std::string& path,
                                    std::string* error);

// The DLLs that the library at `path` imports, lower-cased, read from its
// import directory. Windows only: elsewhere sets `error` and returns none.
std::vector<std::string> ImportedLibraries(const std::string& path,
                                           std::string* error);

}  // namespace quorvane_testing

#endif  // QUORVANE_TESTS_TESTING_PLATFORM_H_
