#include "Terminal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tessaly::cli {

namespace {

constexpr int kFallbackWidth = 80;

// Written by the signal handler; lock-free, so safe to write there.
std::atomic<int> stopRequest{0};
static_assert(std::atomic<int>::is_always_lock_free);

void noteStop(int signal) {
    int none = 0;
    stopRequest.compare_exchange_strong(none, signal);
#ifdef _WIN32
    // Windows resets the handler before calling it; a second Ctrl-C must
    // not kill the run while it cleans up.
    std::signal(signal, noteStop);
#endif
}

} // namespace

#ifdef _WIN32

void keepStandardStreamsOpen() {}

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int terminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return kFallbackWidth;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? width : kFallbackWidth;
}

void catchStopSignals() {
    std::signal(SIGINT, noteStop);
    std::signal(SIGTERM, noteStop);
}

#else

void keepStandardStreamsOpen() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        // open() takes the lowest free number, which is this one. Standard
        // output gets it for reading only: what is written there must still
        // fail (EBADF), as it would on the closed stream, so that --help
        // and --verbose say that their text went nowhere.
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            ::open("/dev/null", fd == STDOUT_FILENO ? O_RDONLY : O_RDWR);
        }
    }
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

int terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kFallbackWidth;
    return size.ws_col;
}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = noteStop;
    // While one stop signal is being noted the others wait: the one noted
    // is the one delivered first, not one that cut into its handler.
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
    // System calls the handler interrupts go on; the engine asks whether to
    // keep going often enough by itself.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored by whoever started us stays ignored: nohup
        // leaves SIGHUP so, a shell SIGINT for a job in the background.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : {SIGPIPE, SIGXFSZ}) ::sigaction(signal, &ignore, nullptr);
}

#endif

int stopSignal() { return stopRequest.load(); }

} // namespace tessaly::cli
