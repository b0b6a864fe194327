# The executable links every library of the program through vorlix_app.
add_executable(vorlix ${VORLIX_DIR}/main.cpp)
target_link_libraries(vorlix PRIVATE vorlix_app)
target_compile_definitions(vorlix PRIVATE VORLIX_GIT_HASH="${VORLIX_GIT_HASH}")
