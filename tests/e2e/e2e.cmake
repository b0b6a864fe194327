# The real program in a terminal (tmux), against the simulated instrument.
vorlix_test(e2e_tests SOURCES viewer_test.cpp scan_test.cpp live_test.cpp exit_test.cpp terminal_test.cpp
            LIBS vorlix_sim_core vorlix_config_core LABELS e2e)
add_dependencies(e2e_tests vorlix)
