#include "tools/terminal.h"

#include <cstdlib>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace mg::tool {

bool Terminal::IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void Terminal::SetBinary([[maybe_unused]] std::FILE* stream) {
#if defined(_WIN32)
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
#endif
}

int Terminal::Width() {
    int columns = 0;
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        columns = info.srWindow.Right - info.srWindow.Left + 1;
    }
#else
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) columns = size.ws_col;
#endif
    if (columns <= 0) {
        if (const char* env = std::getenv("COLUMNS")) columns = std::atoi(env);
    }
    return columns >= 20 ? columns : 80;
}

}  // namespace mg::tool
