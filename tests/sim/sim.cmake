vorlix_test(sim_tests
  SOURCES shell_test.cpp frame_test.cpp faults_test.cpp server_test.cpp
  LIBS vorlix_sim_core
  LABELS threads)
add_dependencies(sim_tests vorlix-sim)
