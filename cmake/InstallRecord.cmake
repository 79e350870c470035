# What `cmake --install` put into a prefix, kept per prefix under the build folder (installs/<prefix>/
# manifest.txt) so that `make uninstall PREFIX=…` takes exactly that away again: the files, and the
# folders and desktop caches that were not there before the first install into that prefix. Lines are
# "file <path>", "dir <path>", "cache <path>" and one "share <path>" (where the caches live).

# The record of prefix under the folder of records.
function(kestrin_record_file out records prefix)
  get_filename_component(prefix "${prefix}" ABSOLUTE)
  string(REGEX REPLACE "/+$" "" prefix "${prefix}")
  set(${out} "${records}${prefix}/manifest.txt" PARENT_SCOPE)
endfunction()

# Before anything is copied: the folders of dirs (relative to the prefix) and their parents up to the
# prefix itself, and the caches, that do not exist yet. A macro: the install script's later steps read
# KESTRIN_RECORD_NEW.
macro(kestrin_record_before prefix share dirs)
  set(KESTRIN_RECORD_NEW "")
  get_filename_component(kestrin_top "${prefix}" ABSOLUTE)
  string(REGEX REPLACE "/+$" "" kestrin_top "${kestrin_top}")
  foreach(kestrin_dir IN ITEMS ${dirs})
    set(kestrin_at "${kestrin_top}/${kestrin_dir}")
    while(NOT EXISTS "${kestrin_at}")
      string(FIND "${kestrin_at}/" "${kestrin_top}/" kestrin_pos)
      if(NOT kestrin_pos EQUAL 0)
        break()
      endif()
      list(APPEND KESTRIN_RECORD_NEW "dir ${kestrin_at}")
      get_filename_component(kestrin_at "${kestrin_at}" DIRECTORY)
    endwhile()
  endforeach()
  foreach(kestrin_cache "applications/mimeinfo.cache" "icons/hicolor/icon-theme.cache")
    if(NOT EXISTS "${share}/${kestrin_cache}")
      list(APPEND KESTRIN_RECORD_NEW "cache ${share}/${kestrin_cache}")
    endif()
  endforeach()
endmacro()

# After the install: the files it copied joined with what an earlier install into the prefix recorded
# (what that one created is still ours).
function(kestrin_record_after records prefix share files)
  kestrin_record_file(record "${records}" "${prefix}")
  set(lines ${KESTRIN_RECORD_NEW})
  foreach(f IN LISTS files)
    list(APPEND lines "file ${f}")
  endforeach()
  if(EXISTS "${record}")
    file(STRINGS "${record}" earlier)
    list(FILTER earlier EXCLUDE REGEX "^share ")
    list(APPEND lines ${earlier})
  endif()
  list(REMOVE_DUPLICATES lines)
  list(SORT lines)
  list(APPEND lines "share ${share}")
  string(REPLACE ";" "\n" text "${lines}")
  file(WRITE "${record}" "${text}\n")
endfunction()
