cmake_minimum_required(VERSION 3.25)

# Refuses an include that runs upward between the source layers: a file may include headers of its own
# layer and of the layers below it, but not those inside the file-system steps. Refuses, too, a tool that
# renames or deletes by a path itself. Run with -DSRC=<source root> [-DSTAMP=<file written on success>].
# Layers from the bottom; tools and help share one rank.
set(layers platform core/base core/localisation core/model core/filesteps core/fileops "core/tools|core/help" core/app ui)

set(allowed "")

# Inside the file-system steps: what they use among themselves and what tests act on. Only the steps and
# the transfer engine include these; every other tool goes through the steps' own headers.
set(inside core/filesteps/PosixSteps.h core/filesteps/JournalRecords.h core/filesteps/StepHooks.h)
set(insideUsers "^core/filesteps/|^core/fileops/TransferEngine\\.cpp$")

# Above the file operations nothing renames, links, deletes or trashes a user's item by a path of its own:
# the steps do, in the folders they hold.
set(stepsOnly "^(core/model|core/tools|core/help|core/app|ui)/")
set(pathStep "(^|[^A-Za-z0-9_:])::(rename|renameat|renameat2|unlink|unlinkat|rmdir|link|linkat)[ \t]*\\(|QFile::(rename|remove|moveToTrash)[ \t]*\\(|removeRecursively[ \t]*\\(|Trash::moveToTrash[ \t]*\\(")

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
  if(file MATCHES "${stepsOnly}")
    file(STRINGS ${SRC}/${file} steps REGEX "${pathStep}")
    foreach(line IN LISTS steps)
      string(STRIP "${line}" line)
      string(APPEND errors "\n  ${file} changes an item by its path itself: ${line}")
    endforeach()
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
    elseif(header IN_LIST inside AND NOT file MATCHES "${insideUsers}")
      string(APPEND errors "\n  ${file} includes ${header}, inside the steps")
    endif()
  endforeach()
endforeach()

if(errors)
  string(REPLACE ";" " < " order "${layers}")
  message(FATAL_ERROR "Includes that run upward between the layers (${order}), and tools that change items by a path of their own:${errors}")
endif()
if(STAMP)
  file(WRITE ${STAMP} "")
endif()
