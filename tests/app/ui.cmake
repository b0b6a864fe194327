vorlix_test(app_ui_state_tests
            SOURCES ui_error_test.cpp number_input_test.cpp ui_state_test.cpp plot_view_test.cpp
            LIBS vorlix_app_ui_state)
vorlix_test(app_screens_tests SOURCES screens_test.cpp LIBS vorlix_app_screens)
