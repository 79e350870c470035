cmake_minimum_required(VERSION 3.25)

# Refuses an include that runs upward between the source layers: a file may include headers of its own
# layer and of the layers below it, but not those inside the file-system steps. Refuses, too, a tool that
# renames or deletes by a path itself, a command that hands an operation a bare path to change, and a
# lookup of children by a class without a meta-object of its own. Run with -DSRC=<source root> [-DSTAMP=<file written on success>].
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

# Above the steps and the platform nothing changes a file by a path either: a path is looked up again at
# each call, so a link another account swaps in would steer it. Changes go relative to held folders.
set(notSteps "^(core/base|core/localisation|core/model|core/fileops|core/tools|core/help|core/app|ui)/")
set(byPath
    "(^|[^A-Za-z0-9_:.>])::(rename|unlink|rmdir|link|symlink|mkdir|chmod|chown|lchown|utimes|lutimes|truncate|setxattr|lsetxattr|removexattr|lremovexattr|mknod|mkfifo|creat)[ \t]*\\("
    "::(renameat|renameat2|unlinkat|linkat|symlinkat|mkdirat|fchmodat|fchownat|utimensat|mknodat)[ \t]*\\([^;]*AT_FDCWD"
    "renameNoReplace[ \t]*\\([ \t]*AT_FDCWD"
    "::open[ \t]*\\(.*O_CREAT"
    "QSaveFile"
    "QFile::(rename|remove|moveToTrash|link|copy|setPermissions)[ \t]*\\("
    "setPermissions[ \t]*\\("
    "mkpath[ \t]*\\("
    "QDir[^;]*\\.(mkdir|rmdir|rename)[ \t]*\\(|(\\.|->)(mkdir|rmdir|removeRecursively)[ \t]*\\("
    "setWorkingDirectory[ \t]*\\("
    "\"-C\"|\"--directory|\"/(usr/)?bin/(rm|mv|cp|ln|mkdir|rmdir|chmod|chown|touch)\"")
list(JOIN byPath "|" byPath)

# What still changes items by path above the steps: the file, a piece of the line that does it, and why.
set(byPathAllowed
    # Delete as administrator: the items are named to rm through pkexec, which can't be given our
    # descriptors across the privilege boundary; it runs only on the user's explicit request.
    "core/app/DesktopHooks.cpp|\"/bin/rm\""
)

# Above the operations every entry that changes items (menus, keys, toolbar, drops, the sidebar, Get Info,
# the command line, the tools) hands them the items as a pane listed them, or folders held: these entry
# points of the operations and steps take bare paths to a change instead, and only the file named may call
# each, for the reason given. `FileOps::unlisted` makes listed items of bare paths: no command may.
set(commands "^(core/tools|core/help|core/app|ui)/")
set(pathEntry
    "(FileOps::(deletePermanently|runWithProgress|renameInTwoPhases|copyTree|copyFileChunked|unlisted)|Restore::(moveItem|moveToFreeName)|FileSteps::(removeTree|moveAcross|copyTree)|Journal::trashRecorded|Trash::moveToTrash)[ \t]*\\(")
set(pathEntryAllowed
    # Deleting for good what the Trash view lists, by its path in a Trash: the Trash's own folders are
    # opened as listed and held (Trash::Held::openListed), so only an entry of that Trash goes.
    "core/app/TrashCommands.cpp|FileOps::deletePermanently"
    # Copies and moves: the folders a pane listed go along as `shown` and are checked; folders no pane lists
    # (a favourite, a drop from another program) are held at the first look through the user's own links
    # only, and go along as `shown` too.
    "core/app/Transfers.cpp|FileOps::runWithProgress"
    # The rule's destination is held and passed as `shown`; the matched file was checked just before.
    "core/tools/RulesEngine.cpp|FileOps::runWithProgress"
    # The batch rename's rows are the selection's paths, and go along with the pane's identities as `shown`:
    # a folder or item that is no longer what was listed is refused.
    "ui/tools/BatchRenameSheet.cpp|FileOps::renameInTwoPhases"
)

# Whether the list of "file|call" entries allows `file` the call in `text`.
function(allowed_call list file text out)
  set(${out} FALSE PARENT_SCOPE)
  foreach(entry IN LISTS ${list})
    string(FIND "${entry}" "|" bar)
    string(SUBSTRING "${entry}" 0 ${bar} allowedFile)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${entry}" ${bar} -1 allowedCall)
    string(FIND "${text}" "${allowedCall}" at)
    if(file STREQUAL allowedFile AND at GREATER -1)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

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

# A class looked up among a widget's children by its type needs its own meta-object: without Q_OBJECT the
# lookup matches every object of its nearest base that has one, and hands it back as the class.
set(classHead "class[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]*(final)?[ \t]*:[^;{()]*\\{[ \t\r\n]*(Q_OBJECT)?")
set(typeLookup "findChild(ren)?[ \t]*<[ \t]*(const[ \t]+)?([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\*")
set(withoutMeta "")
set(lookups "")

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(errors "")
foreach(file IN LISTS files)
  file(READ ${SRC}/${file} text)
  string(REGEX MATCHALL "${classHead}" heads "${text}")
  foreach(head IN LISTS heads)
    string(REGEX MATCH "${classHead}" head "${head}")
    if(NOT CMAKE_MATCH_3)
      list(APPEND withoutMeta ${CMAKE_MATCH_1})
    endif()
  endforeach()
  string(REGEX MATCHALL "${typeLookup}" found "${text}")
  foreach(lookup IN LISTS found)
    string(REGEX MATCH "${typeLookup}" lookup "${lookup}")
    list(APPEND lookups "${CMAKE_MATCH_3}|${file}")
  endforeach()
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
  if(file MATCHES "${notSteps}")
    file(STRINGS ${SRC}/${file} steps REGEX "${byPath}")
    foreach(line IN LISTS steps)
      string(STRIP "${line}" line)
      if(line MATCHES "^//" OR (file MATCHES "${stepsOnly}" AND line MATCHES "${pathStep}"))
        continue() # a comment, or said above
      endif()
      allowed_call(byPathAllowed ${file} "${line}" allowedHere)
      if(NOT allowedHere)
        string(APPEND errors "\n  ${file} changes an item by its path itself: ${line}")
      endif()
    endforeach()
  endif()
  if(file MATCHES "${commands}")
    file(STRINGS ${SRC}/${file} entries REGEX "${pathEntry}")
    foreach(line IN LISTS entries)
      string(STRIP "${line}" line)
      if(line MATCHES "^//")
        continue()
      endif()
      string(REGEX MATCH "${pathEntry}" called "${line}")
      allowed_call(pathEntryAllowed ${file} "${called}" allowedHere)
      if(NOT allowedHere)
        string(APPEND errors "\n  ${file} hands a bare path to a change: ${line}")
      endif()
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

foreach(lookup IN LISTS lookups)
  string(REPLACE "|" ";" lookup "${lookup}")
  list(GET lookup 0 type)
  list(GET lookup 1 file)
  if(type IN_LIST withoutMeta)
    string(APPEND errors "\n  ${file} looks up ${type} among children, which has no Q_OBJECT")
  endif()
endforeach()

if(errors)
  string(REPLACE ";" " < " order "${layers}")
  message(FATAL_ERROR "Includes that run upward between the layers (${order}), tools that change items by a path of their own, commands that hand one to an operation, and children looked up by a type without a meta-object:${errors}")
endif()
if(STAMP)
  file(WRITE ${STAMP} "")
endif()
