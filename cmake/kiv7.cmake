# Helpers shared by every folder's CMakeLists.

# Headers are included as "folder/unit.h" from the source tree itself, so
# that diagnostics and debug information name the files a developer edits.
# Which folders a unit may include is the layer table's rule, held by
# scripts/check_layers.py (the test command runs it before it builds).

# kiv7_layer(NAME FOLDER folder [UNITS units...] [ON libraries...] [QT modules...])
# One row of the layer table in cmake/layers.cmake.
function(kiv7_layer name)
  cmake_parse_arguments(ARG "" "FOLDER" "UNITS;ON;QT" ${ARGN})
  if(NOT ARG_FOLDER OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kiv7_layer(${name}): FOLDER is required; unknown words: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  set_property(GLOBAL APPEND PROPERTY KIV7_LAYERS ${name})
  set_property(GLOBAL PROPERTY KIV7_LAYER_${name}_FOLDER ${ARG_FOLDER})
  set_property(GLOBAL PROPERTY KIV7_LAYER_${name}_UNITS ${ARG_UNITS})
  set_property(GLOBAL PROPERTY KIV7_LAYER_${name}_ON ${ARG_ON})
  set_property(GLOBAL PROPERTY KIV7_LAYER_${name}_QT ${ARG_QT})
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)

# kiv7_layer_sources(NAME VAR): the .cpp files of a library of the table.
function(kiv7_layer_sources name out)
  get_property(folder GLOBAL PROPERTY KIV7_LAYER_${name}_FOLDER)
  get_property(units GLOBAL PROPERTY KIV7_LAYER_${name}_UNITS)
  if(NOT folder)
    message(FATAL_ERROR "${name} is not in the layer table (cmake/layers.cmake)")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  # Units named by a library of the same folder belong to that library alone.
  set(claimed)
  get_property(layers GLOBAL PROPERTY KIV7_LAYERS)
  foreach(other ${layers})
    get_property(other_folder GLOBAL PROPERTY KIV7_LAYER_${other}_FOLDER)
    if(other_folder STREQUAL folder AND NOT other STREQUAL name)
      get_property(other_units GLOBAL PROPERTY KIV7_LAYER_${other}_UNITS)
      list(APPEND claimed ${other_units})
    endif()
  endforeach()
  set(result)
  foreach(src ${sources})
    get_filename_component(unit ${src} NAME_WE)
    if(units)
      if(unit IN_LIST units)
        list(APPEND result ${src})
      endif()
    elseif(NOT unit IN_LIST claimed)
      list(APPEND result ${src})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# kiv7_program_folders(): adds every folder below the current one that has
# its own CMakeLists.txt (the harnesses, the benchmarks).
function(kiv7_program_folders)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# kiv7_library(NAME [SOURCES...] [DEPS targets...])
# A static library of the layer table, built from its units (or the SOURCES
# given), standing on the libraries and Qt modules the table names; DEPS adds
# outside libraries only.
function(kiv7_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  get_property(folder GLOBAL PROPERTY KIV7_LAYER_${name}_FOLDER)
  get_property(on GLOBAL PROPERTY KIV7_LAYER_${name}_ON)
  get_property(qt GLOBAL PROPERTY KIV7_LAYER_${name}_QT)
  if(NOT folder)
    message(FATAL_ERROR "${name} is not in the layer table (cmake/layers.cmake)")
  endif()
  foreach(dep ${ARG_DEPS})
    if(dep MATCHES "^kiv7_" OR dep MATCHES "^Qt6::")
      message(FATAL_ERROR "${name}: ${dep} belongs in the layer table (cmake/layers.cmake), not in DEPS")
    endif()
  endforeach()
  if(NOT ARG_SOURCES)
    kiv7_layer_sources(${name} ARG_SOURCES)
  endif()
  set(deps ${on} ${ARG_DEPS})
  # Qt is the library's own business: its public headers are Qt-free, so a
  # library or program standing on it sees no Qt header unless it links Qt
  # itself (and the layer table or its own CMakeLists says so).
  set(qt_deps)
  foreach(module ${qt})
    list(APPEND qt_deps Qt6::${module})
  endforeach()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${deps} PRIVATE ${qt_deps})
endfunction()

# kiv7_test(NAME SOURCES... [DEPS targets...] [LABELS labels...])
# A GoogleTest executable registered with CTest, test by test; or, with
# KIV7_TEST_SHARDS=N, as N tests that each run one share of its cases in one
# process. A sanitized process takes a good part of a second to start, more
# than most cases take to run, so the sanitizer passes run shares.
include(GoogleTest)
set(KIV7_TEST_SHARDS 0 CACHE STRING "Register each test executable as this many shares of its cases (0: case by case)")
# Test units share far more headers than library units (GoogleTest, Qt, the
# libraries under test): they go in larger batches.
set(KIV7_UNITY_BATCH 16 CACHE STRING "Test units per batch of a unity build")
function(kiv7_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    KIV7_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KIV7_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # The code under test is built as it ships; the test bodies themselves gain
  # nothing from the optimiser, which would cost a third of their build.
  target_compile_options(${name} PRIVATE -O0)
  set_target_properties(${name} PROPERTIES UNITY_BUILD_BATCH_SIZE ${KIV7_UNITY_BATCH})
  if(KIV7_TEST_SHARDS GREATER 0)
    math(EXPR last "${KIV7_TEST_SHARDS} - 1")
    foreach(i RANGE ${last})
      add_test(NAME ${name}.share${i} COMMAND ${name} --gtest_brief=1)
      set_tests_properties(${name}.share${i} PROPERTIES LABELS "${ARG_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GTEST_TOTAL_SHARDS=${KIV7_TEST_SHARDS};GTEST_SHARD_INDEX=${i}")
    endforeach()
  else()
    gtest_discover_tests(${name}
      PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
