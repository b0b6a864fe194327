# The executable links every library of the program through vorlix_app.
add_executable(vorlix ${VORLIX_DIR}/main.cpp)
target_link_libraries(vorlix PRIVATE vorlix_app)
