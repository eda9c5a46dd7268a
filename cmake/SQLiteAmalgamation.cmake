# SQLite compiled into the Windows build from the amalgamation that scripts/windows
# makes from Debian's own source package (the same release the Linux build links).
set(NBL_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding sqlite3.c and sqlite3.h")
if(NOT EXISTS "${NBL_SQLITE_AMALGAMATION}/sqlite3.c")
  message(FATAL_ERROR "NBL_SQLITE_AMALGAMATION must name a folder with sqlite3.c (scripts/windows makes one)")
endif()
add_library(nbl_sqlite3 STATIC "${NBL_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(nbl_sqlite3 SYSTEM PUBLIC "${NBL_SQLITE_AMALGAMATION}")
# The options of Debian's build that change what a query answers or writes, so that a
# store behaves alike on both systems; no extension loading. The amalgamation is not
# ours to clean up, so our warning flags stay off it.
target_compile_definitions(nbl_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_LIKE_DOESNT_MATCH_BLOBS SQLITE_SECURE_DELETE SQLITE_DEFAULT_RECURSIVE_TRIGGERS
  SQLITE_MAX_VARIABLE_NUMBER=250000 SQLITE_ENABLE_MATH_FUNCTIONS SQLITE_OMIT_LOAD_EXTENSION)
# Pages are read and written after a seek, not at an offset given in an OVERLAPPED: under wine
# each read or write at an offset costs a round trip to its server to post a completion that no
# one waits for (56,000 of them in an import of 100,000 entries); the seek stays in the process.
target_compile_definitions(nbl_sqlite3 PRIVATE SQLITE_WIN32_NO_OVERLAPPED)
target_compile_options(nbl_sqlite3 PRIVATE -w -O2 -g0)
add_library(SQLite::SQLite3 ALIAS nbl_sqlite3)
