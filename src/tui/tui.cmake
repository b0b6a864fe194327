# The terminal layer: cells, buffers, layouts and widgets that draw into a
# buffer, and the terminal object that sends a frame's changes to a backend.
# Only the terminal backend talks to a real terminal, so everything else is
# tested without one.
vorlix_library(vorlix_tui_core tui
               SOURCES core/style.cpp core/utf8.cpp core/text.cpp core/buffer.cpp core/layout.cpp core/wrap.cpp
                       widgets/block.cpp widgets/paragraph.cpp widgets/list.cpp widgets/line_gauge.cpp
                       widgets/chart_layout.cpp widgets/chart.cpp
                       keys.cpp terminal.cpp
               LIBS vorlix_base)

# The one library that talks to a real terminal; the terminal description
# is read only for its colour count.
vorlix_library(vorlix_tui_tty tui
               SOURCES backend/tty_backend.cpp backend/terminfo.cpp
               LIBS vorlix_tui_core PkgConfig::NCURSESW)
