# Flags every target of the project shares, and small helpers for the per-layer folders.

add_library(ombrelay_flags INTERFACE)
target_compile_options(ombrelay_flags INTERFACE -Wall -Wextra -Wpedantic)
if(OMBRELAY_WERROR)
    target_compile_options(ombrelay_flags INTERFACE -Werror)
endif()
target_compile_definitions(ombrelay_flags INTERFACE
    QT_NO_KEYWORDS
    OMBRELAY_VERSION="${PROJECT_VERSION}"
    OMBRELAY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

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

# Each folder owns its targets in *.cmake fragments beside its CMakeLists.txt, one per area,
# so that areas can grow without touching each other's build files.
macro(ombrelay_include_fragments)
    file(GLOB _fragments CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
    list(SORT _fragments)
    foreach(_f IN LISTS _fragments)
        include(${_f})
    endforeach()
endmacro()

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
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OMBRELAY_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;${T_ENV}")
endfunction()

# ombrelay_add_fuzz(NAME LIBS...): the libFuzzer target NAME from fuzz/NAME.cpp, which
# fuzz/run.sh builds and runs with the seeds of fuzz/corpus/NAME/.
function(ombrelay_add_fuzz NAME)
    add_executable(${NAME} ${CMAKE_CURRENT_SOURCE_DIR}/${NAME}.cpp)
    target_link_libraries(${NAME} PRIVATE ombrelay_flags ${ARGN})
    target_link_options(${NAME} PRIVATE -fsanitize=fuzzer)
endfunction()
