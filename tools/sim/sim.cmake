vorlix_library(vorlix_sim_core sim
  SOURCES spectrum.cpp replies.cpp commands.cpp shell.cpp ledger.cpp faults.cpp server.cpp
  LIBS Threads::Threads)

add_executable(vorlix-sim ${VORLIX_DIR}/main.cpp)
target_link_libraries(vorlix-sim PRIVATE vorlix_sim_core)
