cmake_minimum_required(VERSION 3.25)

# Refuses an include that runs upward between the source layers: a file may include headers of its own
# layer and of the layers below it. Run with -DSRC=<source root> [-DSTAMP=<file written on success>].
# Layers from the bottom; tools and help share one rank.
set(layers platform core/base core/localisation core/model core/fileops "core/tools|core/help" core/app ui)

# The settings store is still filed under core/app until it moves down with its own change.
set(allowed "core/app/Defaults.h")

function(layer_of path out)
  set(rank 0)
  foreach(entry IN LISTS layers)
    string(REPLACE "|" ";" prefixes "${entry}")
    foreach(prefix IN LISTS prefixes)
      if(path MATCHES "^${prefix}/")
        set(${out} ${rank} PARENT_SCOPE)
        return()
      endif()
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(${out} -1 PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(errors "")
foreach(file IN LISTS files)
  layer_of(${file} own)
  if(own EQUAL -1)
    continue() # the entry point and anything outside the layers
  endif()
  file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    if(header IN_LIST allowed)
      continue()
    endif()
    layer_of(${header} theirs)
    if(theirs GREATER own)
      string(APPEND errors "\n  ${file} includes ${header}")
    endif()
  endforeach()
endforeach()

if(errors)
  string(REPLACE ";" " < " order "${layers}")
  message(FATAL_ERROR "Includes that run upward between the layers (${order}):${errors}")
endif()
if(STAMP)
  file(WRITE ${STAMP} "")
endif()
