// tessaly-cli: splits a file into numbered pieces plus a .splt index, or
// joins such a set back, from the command line. See tessaly-cli(1).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Terminal.h"

#ifdef _WIN32
#include <windows.h>

#include "Paths.h"
#endif

namespace {

int guarded(const std::vector<std::string>& arguments) {
    try {
        tessaly::cli::keepStandardStreamsOpen();
        tessaly::cli::catchStopSignals();
        return tessaly::cli::run(arguments, TESSALY_VERSION);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaly-cli: stopped by an internal error: %s\n", e.what());
        return tessaly::cli::kExitFailed;
    }
}

} // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 and go on as UTF-8, as the engine takes paths;
// messages are UTF-8 too.
int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(tessaly::narrow(argv[i]));
    return guarded(arguments);
}
#else
int main(int argc, char** argv) { return guarded(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
