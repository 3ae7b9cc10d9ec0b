# Warnings and definitions every target of the project uses.
add_library(orvex_warnings INTERFACE)
target_compile_options(orvex_warnings INTERFACE
    -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(orvex_warnings INTERFACE
    QT_NO_FOREACH QT_DISABLE_DEPRECATED_BEFORE=0x050F00)

if(ORVEX_SANITIZE AND ORVEX_TSAN)
    message(FATAL_ERROR "ORVEX_SANITIZE and ORVEX_TSAN cannot be combined")
endif()
if(ORVEX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(ORVEX_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# add_orvex_library(<name> <sources>... LIBS <libraries>...)
function(add_orvex_library name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE orvex_warnings)
endfunction()

# add_orvex_test(<folder> <unit> LIBS <libraries>... [SOURCES <extra sources>...])
# Builds tests/<folder>/tst_<unit>.cpp and registers it with ctest as <folder>_<unit>. The tests
# expect the Chinese source texts: they run with a Chinese locale (LANGUAGE=zh_CN).
function(add_orvex_test folder unit)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;SOURCES" ${ARGN})
    set(target tst_${folder}_${unit})
    add_executable(${target} tst_${unit}.cpp ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} orvex_test_support orvex_resources Qt::Test orvex_warnings)
    add_test(NAME ${folder}_${unit} COMMAND ${target})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${folder}_${unit} PROPERTIES
        LABELS ${folder}
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANGUAGE=zh_CN;ORVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVEX_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# libFuzzer targets in fuzz/ (clang only, a build folder of its own): all code is built for
# coverage with AddressSanitizer and UndefinedBehaviorSanitizer, the targets link the fuzzer.
option(ORVEX_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)
if(ORVEX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ORVEX_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++-14")
    endif()
    if(ORVEX_SANITIZE OR ORVEX_TSAN)
        message(FATAL_ERROR "ORVEX_FUZZ brings its own sanitizers; leave ORVEX_SANITIZE and ORVEX_TSAN off")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    add_subdirectory(${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_BINARY_DIR}/fuzz)
endif()
