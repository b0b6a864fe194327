vorlix_test(app_event_loop_tests
            SOURCES event_loop_keys_test.cpp event_loop_confirm_test.cpp event_loop_test.cpp
            LIBS vorlix_app_loop vorlix_config_core)
vorlix_test(app_event_loop_sim_tests SOURCES event_loop_sim_test.cpp
            LIBS vorlix_app_loop vorlix_sim_core LABELS threads)
vorlix_test(app_entry_tests SOURCES entry_test.cpp LIBS vorlix_app_entry)
