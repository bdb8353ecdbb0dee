# Fails when the translations are behind the sources: lupdate, run over the sources into copies
# of the .ts files, finds a text without a translation (new, or changed in the source) or one
# the sources no longer have. `cmake --build … --target update_translations` brings them up to
# date. Run with -P and LUPDATE, SOURCE_LIST (one source a line), TS_FILES (separated by '|'),
# OPTIONS (lupdate's, separated by '|') and WORK_DIR.
string(REPLACE "|" ";" ts_files "${TS_FILES}")
string(REPLACE "|" ";" options "${OPTIONS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(behind "")
foreach(ts IN LISTS ts_files)
    cmake_path(GET ts FILENAME name)
    set(copy "${WORK_DIR}/${name}")
    file(COPY_FILE "${ts}" "${copy}")
    execute_process(COMMAND "${LUPDATE}" ${options} "@${SOURCE_LIST}" -ts "${copy}"
        RESULT_VARIABLE failed OUTPUT_QUIET)
    if(failed)
        message(FATAL_ERROR "lupdate failed on ${name}")
    endif()
    # Each message's source, then its translation's state, line by line.
    file(STRINGS "${copy}" lines REGEX "<source>|<translation")
    set(source "")
    foreach(line IN LISTS lines)
        if(line MATCHES "<source>(.*)</source>")
            set(source "${CMAKE_MATCH_1}")
        elseif(line MATCHES "type=\"(unfinished|vanished|obsolete)\"")
            string(APPEND behind "\n  ${name}: ${CMAKE_MATCH_1}: ${source}")
        endif()
    endforeach()
endforeach()
if(behind)
    message(FATAL_ERROR "Translations not up to date with the sources:${behind}")
endif()
