# Re-runs the skin generator into a scratch folder and compares every bitmap with the committed one.
# Arguments: PYTHON, GENERATOR, COMMITTED, REGENERATED.

if(NOT PYTHON)
    message(STATUS "SKIPPED: python3 is not installed, so the skin generator cannot be re-run")
    return()
endif()

file(REMOVE_RECURSE "${REGENERATED}")
execute_process(COMMAND "${PYTHON}" -B "${GENERATOR}" --out "${REGENERATED}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the skin generator failed: ${status}")
endif()

file(GLOB_RECURSE committed RELATIVE "${COMMITTED}" "${COMMITTED}/*.bmp")
file(GLOB_RECURSE regenerated RELATIVE "${REGENERATED}" "${REGENERATED}/*.bmp")
list(SORT committed)
list(SORT regenerated)
if(NOT committed STREQUAL regenerated)
    message(FATAL_ERROR "the generator writes [${regenerated}] but [${committed}] are committed")
endif()

set(differing "")
foreach(name IN LISTS committed)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${COMMITTED}/${name}" "${REGENERATED}/${name}"
                    RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
        list(APPEND differing "${name}")
    endif()
endforeach()
if(differing)
    message(FATAL_ERROR "regenerated bitmaps differ from the committed ones: ${differing}\n"
                        "run python3 tools/skin/make_skin.py and commit the result")
endif()
list(LENGTH committed count)
message(STATUS "all ${count} bitmaps reproduced byte for byte")
