# Flags every target of the project shares, and small helpers for the per-layer folders.

add_library(ombrelay_flags INTERFACE)
target_compile_options(ombrelay_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(OMBRELAY_WERROR)
    target_compile_options(ombrelay_flags INTERFACE -Werror)
endif()
target_compile_definitions(ombrelay_flags INTERFACE
    QT_NO_KEYWORDS
    OMBRELAY_VERSION="${PROJECT_VERSION}"
    OMBRELAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# The program's own code (libraries, program, tools) spells every conversion from bytes to text;
# tests keep plain literals in their tables of PDUs and texts.
add_library(ombrelay_strict INTERFACE)
target_compile_definitions(ombrelay_strict INTERFACE QT_NO_CAST_FROM_ASCII)

if(OMBRELAY_ASAN)
    set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(ombrelay_flags INTERFACE ${_san})
    target_link_options(ombrelay_flags INTERFACE ${_san})
endif()
if(OMBRELAY_TSAN)
    set(_san -fsanitize=thread -fno-omit-frame-pointer)
    target_compile_options(ombrelay_flags INTERFACE ${_san})
    target_link_options(ombrelay_flags INTERFACE ${_san})
endif()
if(OMBRELAY_FUZZ)
    # The libraries under test are instrumented for coverage too, or libFuzzer sees little of them.
    target_compile_options(ombrelay_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(ombrelay_flags INTERFACE -fsanitize=address,undefined)
endif()

# ombrelay_add_library(NAME PREFIX prefix SOURCES ... [PUBLIC ...] [PRIVATE ...])
# One static library from the folder it is declared in. Its headers are reached as
# "PREFIX/Header.h" and only through links made in the build tree for that library alone, so a
# target sees the headers of the libraries it links and no others: an include that goes against
# the layers (a backend from the core, a widget header below the GUI) fails to compile.
function(ombrelay_add_library NAME)
    cmake_parse_arguments(L "" "PREFIX" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${NAME} STATIC ${L_SOURCES})
    target_link_libraries(${NAME} PUBLIC ombrelay_flags ${L_PUBLIC} PRIVATE ombrelay_strict ${L_PRIVATE})
    set(_root "${CMAKE_BINARY_DIR}/include/${NAME}")
    foreach(_src IN LISTS L_SOURCES)
        if(_src MATCHES "\\.h$")
            get_filename_component(_abs "${_src}" ABSOLUTE)
            file(RELATIVE_PATH _rel "${CMAKE_CURRENT_SOURCE_DIR}" "${_abs}")
            get_filename_component(_dir "${_root}/${L_PREFIX}/${_rel}" DIRECTORY)
            file(MAKE_DIRECTORY "${_dir}")
            file(CREATE_LINK "${_abs}" "${_root}/${L_PREFIX}/${_rel}" SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${NAME} PUBLIC "${_root}")
endfunction()

# Under ThreadSanitizer every test gets the Qt suppressions and may start child processes (the
# real program, daemons, dbus-run-session) from a process that already has threads; tests that
# name their own TSAN_OPTIONS keep them, with the fork allowance added.
function(_ombrelay_test_env OUT)
    set(_env ${ARGN})
    if(OMBRELAY_TSAN)
        if(_env MATCHES "TSAN_OPTIONS=")
            if(NOT _env MATCHES "die_after_fork")
                string(REPLACE "TSAN_OPTIONS=" "TSAN_OPTIONS=die_after_fork=0:" _env "${_env}")
            endif()
        else()
            list(APPEND _env "TSAN_OPTIONS=die_after_fork=0:suppressions=${PROJECT_SOURCE_DIR}/tests/support/qt.tsan.supp")
        endif()
    endif()
    set(${OUT} "${_env}" PARENT_SCOPE)
endfunction()

# ombrelay_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [ENV ...])
# One Qt Test executable, registered with CTest, run on the offscreen platform.
function(ombrelay_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ombrelay_flags Qt6::Test ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    _ombrelay_test_env(_env "QT_QPA_PLATFORM=offscreen" "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp" ${T_ENV})
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "${_env}")
endfunction()

# ombrelay_add_program_test(NAME name SOURCES ... [LABELS ...] [TIMEOUT s])
# A test that starts the real program under its own X server on a private session bus (the
# harness in tests/support/ProgramUnderTest.h). Labelled "program" besides its own labels: the
# ThreadSanitizer run leaves such tests out (the uninstrumented Qt, D-Bus and GLib inside the
# program report races between their own threads).
function(ombrelay_add_program_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ombrelay_flags Qt6::Test Qt6::DBus Qt6::Network)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${T_NAME} PRIVATE OMBRELAY_BINARY="$<TARGET_FILE:ombrelay>")
    add_dependencies(${T_NAME} ombrelay)
    add_test(NAME ${T_NAME} COMMAND dbus-run-session -- $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS};program" TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endfunction()

# ombrelay_add_fuzz(NAME LIBS...): the libFuzzer target NAME from fuzz/NAME.cpp, which
# fuzz/run.sh builds and runs with the seeds of fuzz/corpus/NAME/.
function(ombrelay_add_fuzz NAME)
    add_executable(${NAME} ${CMAKE_CURRENT_SOURCE_DIR}/${NAME}.cpp)
    target_link_libraries(${NAME} PRIVATE ombrelay_flags ${ARGN})
    target_link_options(${NAME} PRIVATE -fsanitize=fuzzer)
endfunction()
