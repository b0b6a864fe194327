# Taking the console over for the user interface and restoring it on every
# way out, crashes included.
vorlix_library(vorlix_app_terminal app
               SOURCES terminal.cpp
               LIBS vorlix_tui_core vorlix_tui_tty)
