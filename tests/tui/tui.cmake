vorlix_test(tui_core_tests
            SOURCES rect_test.cpp utf8_test.cpp buffer_test.cpp keys_test.cpp layout_test.cpp wrap_test.cpp
                    block_test.cpp paragraph_test.cpp list_test.cpp line_gauge_test.cpp clear_test.cpp chart_test.cpp
                    terminal_test.cpp
            LIBS vorlix_tui_core)

# The terminal backend on a pseudo-terminal of its own.
vorlix_test(tui_tty_tests SOURCES tty_backend_test.cpp LIBS vorlix_tui_tty util)
