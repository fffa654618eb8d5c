# The build's own functions: Flash movies from our own SWF writer and from the Haxe
# compiler, and a test that runs a program under a virtual X server. Included from the
# top-level CMakeLists.txt before the parts that use them.

# qm_written_movies(<target> <tool> <folder> MOVIES <name>... [ALL] [COMMENT <text>])
# ActionScript 1 movies from our own SWF writer (qm_swf): the program tools/<tool>.cpp
# writes <folder>/<name>.swf of every name; the custom target <target> stands for them
# (ALL: built by default).
function(qm_written_movies target tool folder)
  cmake_parse_arguments(PARSE_ARGV 3 arg "ALL" "COMMENT" "MOVIES")
  add_executable(${tool} tools/${tool}.cpp)
  target_link_libraries(${tool} PRIVATE qm_swf)
  list(TRANSFORM arg_MOVIES PREPEND ${folder}/ OUTPUT_VARIABLE files)
  list(TRANSFORM files APPEND .swf)
  add_custom_command(
    OUTPUT ${files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${tool} ${folder}
    DEPENDS ${tool}
    COMMENT "${arg_COMMENT}")
  set(all)
  if(arg_ALL)
    set(all ALL)
  endif()
  add_custom_target(${target} ${all} DEPENDS ${files})
endfunction()

# qm_haxe_movie(<output.swf> MAIN <class> HEADER <width:height:fps:colour>
#               CLASS_PATH <folder>... [DEFINES <name>...] [DEPENDS <file>...]
#               [COMMENT <text>])
# Compiles the ActionScript 3 movie whose main class is <class>, found in the first
# class-path folder, into <output.swf> (SWF version 11.2). DEPENDS names further inputs
# (files the movie embeds, made by other rules).
function(qm_haxe_movie output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MAIN;HEADER;COMMENT" "CLASS_PATH;DEFINES;DEPENDS")
  find_program(QM_HAXE haxe REQUIRED)
  get_filename_component(folder ${output} DIRECTORY)
  list(GET arg_CLASS_PATH 0 source_folder)
  set(options)
  foreach(path ${arg_CLASS_PATH})
    list(APPEND options -cp ${path})
  endforeach()
  foreach(define ${arg_DEFINES})
    list(APPEND options -D ${define})
  endforeach()
  if(NOT arg_COMMENT)
    set(arg_COMMENT "Compiling the movie ${arg_MAIN}")
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${QM_HAXE} ${options} -main ${arg_MAIN}
            -swf ${output} -swf-version 11.2 -swf-header ${arg_HEADER}
    DEPENDS ${source_folder}/${arg_MAIN}.hx ${arg_DEPENDS}
    COMMENT "${arg_COMMENT}"
    VERBATIM)
endfunction()

# qm_xvfb_test(<name> <target> TIMEOUT <seconds> [DATA_DIR])
# The test <name> runs the test program <target> under a virtual X server of its own
# (xvfb-run), with the web engine's sandbox off (it refuses to start it as root).
# DATA_DIR: the programs it starts take Ruffle and the device font from the build's
# data folder (they run from a copy of the course folder, away from the build).
function(qm_xvfb_test name target)
  cmake_parse_arguments(PARSE_ARGV 2 arg "DATA_DIR" "TIMEOUT" "")
  set(environment "QTWEBENGINE_DISABLE_SANDBOX=1")
  if(arg_DATA_DIR)
    list(APPEND environment "QM_DATA_DIR=${QM_DATA_BUILD_DIR}")
  endif()
  add_test(NAME ${name}
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${target}>)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT ${arg_TIMEOUT})
endfunction()
