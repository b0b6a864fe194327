// The one question put to the terminal description. Kept apart because the
// description's header defines macros with common names.

#include <curses.h>
#include <term.h>

// Declared in tty_backend.hpp, whose names these macros would rewrite.
namespace vorlix::tui {
int described_colors(int fd);

int described_colors(int fd) {
    int status = 0;
    if (setupterm(nullptr, fd, &status) != OK) return 16;
    const int colors = tigetnum(const_cast<char*>("colors"));
    del_curterm(cur_term);
    return colors > 0 ? colors : 0;
}

}  // namespace vorlix::tui
