vorlix_test(tui_core_tests
            SOURCES rect_test.cpp utf8_test.cpp buffer_test.cpp keys_test.cpp layout_test.cpp wrap_test.cpp
            LIBS vorlix_tui_core)
