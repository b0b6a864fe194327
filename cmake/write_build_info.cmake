# Run at every build (cmake -P): writes OUT with the program's version and
# the short hash of the checked-out commit, but only when its text changed,
# so a build without a new commit recompiles nothing.
#   -DOUT=<header> -DVERSION=<version> -DSOURCE_DIR=<repository>
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND git rev-parse --short HEAD
                WORKING_DIRECTORY ${SOURCE_DIR}
                RESULT_VARIABLE status
                OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
if(NOT status EQUAL 0 OR NOT hash)
  set(hash "unknown")
endif()
set(text "#pragma once\n// Written by the build; do not edit.\n#define VORLIX_VERSION \"${VERSION}\"\n#define VORLIX_GIT_HASH \"${hash}\"\n")
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
