# Profile-guided optimisation of the engine library (GCC release builds). A build of its own in
# <build>/profile compiles the engine with instrumentation and runs it on what Zelmor spends its
# time on: the search signature's positions (bench/bench_search.cpp, depth 7) and a perft of the
# start position. The engine here is then compiled with that profile. The training build is
# redone, and the engine recompiled, whenever a source changes; the results are the same with
# or without it (the signature and perft tests hold every build to them).
set(zelmor_pgo_default OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_BUILD_TYPE STREQUAL "Release" AND
   NOT ZELMOR_SANITIZE AND NOT ZELMOR_FUZZ AND NOT ZELMOR_PROFILE_TRAINING)
  set(zelmor_pgo_default ON)
endif()
option(ZELMOR_PGO "Compile the engine with a profile from a training run (GCC release builds)"
       ${zelmor_pgo_default})

# Profile file names are derived from each object's path below the build directory, so that
# the training build's objects and this build's share their names.
set(zelmor_profile_dir ${CMAKE_BINARY_DIR}/profile)
set(zelmor_profile_data ${zelmor_profile_dir}/data)
set(zelmor_profile_stamp ${zelmor_profile_dir}/profile.stamp)

if(ZELMOR_PROFILE_TRAINING)
  # Inside the training build: instrument, train, stamp.
  set(zelmor_generate -fprofile-generate=${ZELMOR_PROFILE_DATA}
      -fprofile-prefix-path=${CMAKE_BINARY_DIR} -fprofile-update=single)
  target_compile_options(zelmor_core PRIVATE ${zelmor_generate})
  target_compile_options(zelmor PRIVATE ${zelmor_generate})
  target_link_options(zelmor PRIVATE -fprofile-generate)
  add_executable(zelmor_trainer ${PROJECT_SOURCE_DIR}/bench/bench_search.cpp)
  target_compile_options(zelmor_trainer PRIVATE ${zelmor_generate})
  target_link_options(zelmor_trainer PRIVATE -fprofile-generate)
  target_link_libraries(zelmor_trainer PRIVATE zelmor_core)
  set(perft_session "xboard\\nprotover 2\\naccepted setboard\\naccepted done\\nnew\\nperft 5\\nquit\\n")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/run)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/profile.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZELMOR_PROFILE_DATA}
    COMMAND zelmor_trainer 7 --signature-only > ${CMAKE_BINARY_DIR}/run/training.txt
    COMMAND sh -c "printf '${perft_session}' | \"$1\" >> training.txt" sh $<TARGET_FILE:zelmor>
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/profile.stamp
    DEPENDS zelmor_trainer zelmor
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/run
    COMMENT "Training the engine's profile (search signature at depth 7, perft 5)"
    VERBATIM)
  add_custom_target(zelmor_profile ALL DEPENDS ${CMAKE_BINARY_DIR}/profile.stamp)
elseif(ZELMOR_PGO)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "ZELMOR_PGO needs GCC; configure with -DZELMOR_PGO=OFF")
  endif()
  include(ExternalProject)
  # A recursive make shares the outer build's job slots.
  if(CMAKE_GENERATOR MATCHES "Make")
    set(zelmor_profile_build_command $(MAKE) zelmor_profile)
  else()
    set(zelmor_profile_build_command ${CMAKE_COMMAND} --build ${zelmor_profile_dir} --target zelmor_profile)
  endif()
  ExternalProject_Add(zelmor_profile_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${zelmor_profile_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZELMOR_PROFILE_TRAINING=ON
               -DZELMOR_PROFILE_DATA=${zelmor_profile_data}
               -DZELMOR_PORTABLE=${ZELMOR_PORTABLE} -DZELMOR_PGO=OFF -DZELMOR_TESTS=OFF
               -DZELMOR_BENCHMARKS=OFF -DZELMOR_EGBB_PLUGIN=OFF -DZELMOR_FUZZ=OFF
               -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    BUILD_COMMAND ${zelmor_profile_build_command}
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${zelmor_profile_stamp})
  add_dependencies(zelmor_core zelmor_profile_build)
  # Files the training never reaches have no profile and are compiled as usual.
  target_compile_options(zelmor_core PRIVATE -fprofile-use=${zelmor_profile_data}
                         -fprofile-prefix-path=${CMAKE_BINARY_DIR} -Wno-missing-profile)
  set_source_files_properties(${ZELMOR_CORE_SOURCES} PROPERTIES OBJECT_DEPENDS ${zelmor_profile_stamp})
endif()
message(STATUS "Zelmor profile-guided optimisation: ${ZELMOR_PGO}")
