# Helpers shared by every CMakeLists.txt of the project.

# vorn_add_test(NAME SOURCES src... [LIBS lib...])
# A GoogleTest executable whose cases are registered with CTest one by one.
function(vorn_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# vorn_add_plugin(NAME SOURCES src... [LIBS lib...])
# A plugin library as the VMS server loads it: a shared library whose only exported symbols are the
# plain-C entry points. The version script hides everything else, including template instantiations
# of the standard library that would otherwise leak out with default visibility.
function(vorn_add_plugin name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    set(script "${CMAKE_SOURCE_DIR}/cmake/plugin_exports.map")
    target_link_options(${name} PRIVATE "LINKER:--version-script=${script}" "LINKER:--no-undefined")
    set_target_properties(${name} PROPERTIES PREFIX "lib" LINK_DEPENDS "${script}")
    add_test(NAME ${name}.exported_symbols
        COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${name}> -P "${CMAKE_SOURCE_DIR}/cmake/check_exports.cmake")
endfunction()

# vorn_add_subdirectories(dir...): adds the listed folders; one without a CMakeLists.txt fails the
# configure, so a misspelt name cannot drop a component unnoticed.
function(vorn_add_subdirectories)
    foreach(dir IN LISTS ARGN)
        if(NOT EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
            message(FATAL_ERROR "Listed for the build, but has no CMakeLists.txt:\n  ${CMAKE_CURRENT_SOURCE_DIR}/${dir}")
        endif()
        add_subdirectory(${dir})
    endforeach()
endfunction()

# vorn_add_child_folders(): adds every direct subfolder of the calling folder that has a CMakeLists.txt
# (the areas of bench/, the fake peers of testing/).
function(vorn_add_child_folders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
    foreach(child IN LISTS children)
        if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# vorn_add_library_tests(NAME LIBS lib...): one GoogleTest executable from every tests/*.cpp of the
# calling folder; a folder without any fails the configure.
function(vorn_add_library_tests name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp")
    if(NOT sources)
        message(FATAL_ERROR "Test executable ${name} has no tests/*.cpp in:\n  ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    vorn_add_test(${name} SOURCES ${sources} LIBS ${ARG_LIBS})
endfunction()

# vorn_add_globbed_library(NAME INCLUDE_DIR dir [LIBS lib...] [TEST_LIBS lib...])
# A static library from every .cpp under the calling folder's src/ (header-only while there is none),
# with INCLUDE_DIR as its public include root and, when it has a tests/ folder, tests/*.cpp as its test
# executable NAME_tests.
function(vorn_add_globbed_library name)
    cmake_parse_arguments(ARG "" "INCLUDE_DIR" "LIBS;TEST_LIBS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp")
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${ARG_INCLUDE_DIR}/*.h")
    if(sources)
        add_library(${name} STATIC ${sources} ${headers})
        target_include_directories(${name} PUBLIC "${ARG_INCLUDE_DIR}")
        target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${ARG_INCLUDE_DIR}")
        target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    endif()
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/tests")
        vorn_add_library_tests(${name}_tests LIBS ${name} ${ARG_TEST_LIBS})
    endif()
endfunction()
