# Writes the list that slot_entry_points.cpp expands: one QB_SLOT(n) line per slot number.
include(${CMAKE_CURRENT_LIST_DIR}/slot_range.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/write_if_changed.cmake)

function(quorbelt_write_slot_numbers output)
    set(text "// Generated from slots/slot_range.cmake.\n")
    foreach(slot RANGE ${QUORBELT_FIRST_SLOT} ${QUORBELT_LAST_SLOT})
        string(APPEND text "QB_SLOT(${slot})\n")
    endforeach()
    quorbelt_write_if_changed(${output} "${text}")
endfunction()
