# vader_library(NAME DIR [DEPS ...])
# A static library made of every source file of one src/ directory, so a new module
# needs no build-file edit.
function(vader_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# vader_test(NAME [SOURCES ...] [DEPS ...] [ENV ...])
# One GoogleTest executable run as one ctest entry. Without SOURCES it takes every
# .cpp file of the calling directory.
function(vader_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENV" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}")
endfunction()

# vader_bench(NAME SOURCES ... DEPS ...)
function(vader_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()

# vader_add_child_directories([SKIP regex])
# Adds every child directory of the calling directory that has a CMakeLists.txt, in name order.
function(vader_add_child_directories)
  cmake_parse_arguments(ARG "" "SKIP" "" ${ARGN})
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(dir ${child} DIRECTORY)
    if(ARG_SKIP AND dir MATCHES "${ARG_SKIP}")
      continue()
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()

# vader_table_resource(TARGET RESOURCE SOURCE TABLE [TITLE text])
# Compiles the table-definition resource RESOURCE of TABLE into TARGET: SOURCE is a schema file
# or a dictionary directory, turned into a registering C++ source by vtblres at build time.
function(vader_table_resource target resource source table)
  cmake_parse_arguments(ARG "" "TITLE" "" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${resource}_resource.cpp)
  set(title_args)
  if(ARG_TITLE)
    set(title_args --title ${ARG_TITLE})
  endif()
  add_custom_command(
    OUTPUT ${out}
    COMMAND vtblres ${title_args} ${source} ${table} ${resource} ${out}
    DEPENDS vtblres ${source}
    COMMENT "Table-definition resource ${resource} from ${table}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
  target_link_libraries(${target} PRIVATE vader_platform)
endfunction()
