# Test helpers. Every test runs through tests/run-isolated.sh, which gives it a
# fresh TMPDIR, XDG_CONFIG_HOME, HOME and working folder, so tests never touch
# the user's files or each other's.
#
#   velmora_add_qtest(NAME name SOURCES a.cpp b.cpp LIBS lib... [SANITIZE] [LABELS l...])
#   velmora_add_command_test(NAME name COMMAND prog args... [SANITIZE] [LABELS l...])
#
# SANITIZE marks tests that the sanitizer build (VELMORA_SANITIZE=ON, target
# sanitize-tests, label "sanitize") runs as well.

set(VELMORA_TEST_RUNNER ${CMAKE_SOURCE_DIR}/tests/run-isolated.sh)
set(VELMORA_SHARED_MODELS ${CMAKE_SOURCE_DIR}/../shared/models CACHE PATH "Third-party FBX models used by tests when present")
add_custom_target(sanitize-tests)

function(_velmora_register_test name)
  cmake_parse_arguments(T "SANITIZE" "" "COMMAND;LABELS" ${ARGN})
  set(labels ${T_LABELS})
  if(T_SANITIZE)
    list(APPEND labels sanitize)
  endif()
  add_test(NAME ${name} COMMAND ${VELMORA_TEST_RUNNER} ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR};VELMORA_SOURCE_DIR=${CMAKE_SOURCE_DIR};VELMORA_SHARED_MODELS=${VELMORA_SHARED_MODELS};QT_QPA_PLATFORM=xcb;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1"
    TIMEOUT 600)
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
endfunction()

function(velmora_add_qtest)
  cmake_parse_arguments(T "SANITIZE" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(extra)
  if(T_SANITIZE)
    set(extra SANITIZE)
    add_dependencies(sanitize-tests ${T_NAME})
  endif()
  _velmora_register_test(${T_NAME} COMMAND $<TARGET_FILE:${T_NAME}> ${extra} LABELS ${T_LABELS})
endfunction()

function(velmora_add_command_test)
  cmake_parse_arguments(T "SANITIZE" "NAME" "COMMAND;LABELS;DEPENDS" ${ARGN})
  set(extra)
  if(T_SANITIZE)
    set(extra SANITIZE)
    if(T_DEPENDS)
      add_dependencies(sanitize-tests ${T_DEPENDS})
    endif()
  endif()
  _velmora_register_test(${T_NAME} COMMAND ${T_COMMAND} ${extra} LABELS ${T_LABELS})
endfunction()

# One test program per tst_*.cpp file of the calling folder, named
# <PREFIX>_<topic>, linked to LIBS. SUPPORT lists the folder's helper sources:
# they are compiled once into the library <PREFIX>_testsupport, which every
# program of the folder links. DEPENDS names targets (programs the tests run)
# built before each test.
#   velmora_add_test_folder(PREFIX p LIBS lib... [SUPPORT a.cpp...] [DEPENDS t...] [SANITIZE] [LABELS l...])
function(velmora_add_test_folder)
  cmake_parse_arguments(T "SANITIZE" "PREFIX" "LIBS;SUPPORT;LABELS;DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  set(extra)
  if(T_SANITIZE)
    set(extra SANITIZE)
  endif()
  set(libs ${T_LIBS})
  if(T_SUPPORT)
    add_library(${T_PREFIX}_testsupport STATIC ${T_SUPPORT})
    target_link_libraries(${T_PREFIX}_testsupport PUBLIC Qt5::Test ${T_LIBS})
    target_include_directories(${T_PREFIX}_testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${T_PREFIX}_testsupport PRIVATE VELMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    list(APPEND libs ${T_PREFIX}_testsupport)
  endif()
  foreach(src ${sources})
    get_filename_component(name ${src} NAME_WE)
    string(REPLACE "tst_" "${T_PREFIX}_" name ${name})
    velmora_add_qtest(NAME ${name} SOURCES ${src} LIBS ${libs} ${extra} LABELS ${T_LABELS})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    if(T_DEPENDS)
      add_dependencies(${name} ${T_DEPENDS})
    endif()
  endforeach()
endfunction()
