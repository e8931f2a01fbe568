# The real samples are only ever read: every entry below FIXTURES, with its
# modification time and the digest of its contents, is listed into SNAPSHOT
# before the suite runs, and with CHECK set the list taken after the suite
# must be the same (a database opened writable leaves a -wal or -shm beside
# it, or a changed time).
if(NOT IS_DIRECTORY "${FIXTURES}")
  message(STATUS "no real samples folder: nothing to compare")
  return()
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${FIXTURES}/*")
list(SORT entries)
set(listing "")
foreach(entry IN LISTS entries)
  file(TIMESTAMP "${entry}" mtime "%Y-%m-%dT%H:%M:%S" UTC)
  set(digest "")
  if(NOT IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(SHA1 "${entry}" digest)
  endif()
  string(APPEND listing "${entry} ${mtime} ${digest}\n")
endforeach()
if(NOT CHECK)
  file(WRITE "${SNAPSHOT}" "${listing}")
  return()
endif()
file(READ "${SNAPSHOT}" before)
if(NOT before STREQUAL listing)
  file(WRITE "${SNAPSHOT}.after" "${listing}")
  message(FATAL_ERROR "the real samples folder changed during the suite: "
                      "compare ${SNAPSHOT} with ${SNAPSHOT}.after")
endif()
