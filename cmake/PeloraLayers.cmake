# SPDX-License-Identifier: GPL-3.0-or-later
# The layer rule, enforced twice:
#
# 1. Each library target exposes only its own headers. Its include directory is a folder of its
#    own under the build tree that holds links to the headers listed among its sources, at the
#    same relative paths as under src/ ("app/chartsaver.h"). A target sees the headers of the
#    targets it links and nothing else, so a lower layer that includes a higher one does not
#    compile.
# 2. The test "layers" reads every source file of every library and reports each include of a
#    project header that is neither the target's own nor one of a target it links, with the
#    file and line; it catches what a header-only path would let through.
#
#   pelora_enforce_layers(<target>...)   call once, after every target is defined

function(_pelora_project_links target out)
  set(seen)
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    get_target_property(links ${current} LINK_LIBRARIES)
    get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface)
      if(link MATCHES "^pelora_" AND TARGET ${link} AND NOT link IN_LIST seen)
        list(APPEND seen ${link})
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(_pelora_headers target out)
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set(headers)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.h$")
      get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${dir})
      file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR}/src ${absolute})
      list(APPEND headers ${relative})
    endif()
  endforeach()
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

function(pelora_enforce_layers)
  set(manifest "${CMAKE_BINARY_DIR}/layers-manifest.cmake")
  file(WRITE ${manifest} "# Written by the configuration: each target's sources and the headers it may include.\n")
  foreach(target IN LISTS ARGN)
    _pelora_headers(${target} own)
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${root})
    foreach(header IN LISTS own)
      get_filename_component(folder ${root}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${header} ${root}/${header} SYMBOLIC)
    endforeach()
    # The staged folder replaces src/ on the target's include path and on its users'.
    foreach(property INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
      get_target_property(dirs ${target} ${property})
      if(dirs)
        list(REMOVE_ITEM dirs ${CMAKE_SOURCE_DIR}/src)
      else()
        set(dirs)
      endif()
      list(PREPEND dirs ${root})
      set_target_properties(${target} PROPERTIES ${property} "${dirs}")
    endforeach()

    _pelora_project_links(${target} links)
    set(allowed ${own})
    foreach(link IN LISTS links)
      _pelora_headers(${link} theirs)
      list(APPEND allowed ${theirs})
    endforeach()
    get_target_property(sources ${target} SOURCES)
    get_target_property(dir ${target} SOURCE_DIR)
    set(files)
    foreach(source IN LISTS sources)
      get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${dir})
      list(APPEND files ${absolute})
    endforeach()
    file(APPEND ${manifest} "list(APPEND PELORA_TARGETS ${target})\n")
    file(APPEND ${manifest} "set(PELORA_FILES_${target} \"${files}\")\n")
    file(APPEND ${manifest} "set(PELORA_ALLOWED_${target} \"${allowed}\")\n")
  endforeach()
  if(PELORA_BUILD_TESTS)
    add_test(NAME layers COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest}
             -DSOURCE_ROOT=${CMAKE_SOURCE_DIR}/src -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake)
    set_tests_properties(layers PROPERTIES LABELS build)
  endif()
endfunction()
