# The rooms of the program and what each may use: the one table of allowed pairs. A room
# includes and links only the rooms listed for it (and itself). check_layers.cmake checks every
# #include in the tree against it (ctest "layering"); norvane_finish_rooms() checks the
# links of each room's library at configure time; norvane_room_headers() makes the compiler
# refuse an include of a room that is not linked. A new room is its row here and its folder's
# add_subdirectory().
set(NORVANE_ROOMS diag link capture position jsonl session framework widgets res portlist monitor
    radio app tools)

set(NORVANE_USES_diag "")  # bytes only
set(NORVANE_USES_link "")  # I/O only; the sizes it needs are passed in, not taken from diag
set(NORVANE_USES_capture diag)  # libpcap and sockets; GSMTAP's layout from diag
set(NORVANE_USES_position "")  # gpsd only
# The JSON-lines format (time stamp, reports, positions, signalling, the reader): one writer and
# one reader for the tools, the windows' recordings and export.
set(NORVANE_USES_jsonl diag position)
set(NORVANE_USES_session diag link capture)
set(NORVANE_USES_framework "")  # Qt only; knows no resources and nothing of the modem
set(NORVANE_USES_widgets framework)  # knows nothing of the application
set(NORVANE_USES_res framework)  # the dialog template types only
# The port drop-down both windows show: Qt and link only. Not in framework, which knows nothing
# of the modem and which the radio window does not use.
set(NORVANE_USES_portlist link)
set(NORVANE_USES_monitor diag link session framework widgets res portlist)
# Plain Qt: no framework, no templates.
set(NORVANE_USES_radio diag link position jsonl session portlist)
set(NORVANE_USES_app capture session framework widgets res monitor radio)
set(NORVANE_USES_tools diag link capture position jsonl session)

# Tests, fuzzers and benchmarks may use every room. Into tests/ they reach only through the
# support library; a test tier (tests/<tier>) may also include its own folder.
set(NORVANE_TEST_FOLDERS tests fuzz bench)
set(NORVANE_TEST_SUPPORT tests/support)

# norvane_room_headers(ROOM [TARGET...]): the room's own include root, <build>/include/ROOM,
# holding ROOM as a link to the room's folder, goes on the include path of norvane_ROOM (or of
# the targets named) and of what links it. So "ROOM/x.h" is found wherever ROOM is linked, and
# nothing else of the tree is: the repository root is on no room's include path. Called for
# every room's library by norvane_finish_rooms(); a room without one (tools) names its targets.
function(norvane_room_headers room)
    set(root "${PROJECT_BINARY_DIR}/include/${room}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${room}" "${root}/${room}" SYMBOLIC)
    set(targets ${ARGN})
    if(NOT targets)
        set(targets norvane_${room})
    endif()
    foreach(target IN LISTS targets)
        target_include_directories(${target} PUBLIC "${root}")
    endforeach()
endfunction()

# After every room is added: gives each room's library its include root, and fails the configure
# step when it links the library of a room it may not use.
function(norvane_finish_rooms)
    foreach(room IN LISTS NORVANE_ROOMS)
        if(NOT TARGET norvane_${room})
            continue()
        endif()
        norvane_room_headers(${room})
        get_target_property(type norvane_${room} TYPE)
        set(links "")
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(links norvane_${room} LINK_LIBRARIES)
        endif()
        get_target_property(interface_links norvane_${room} INTERFACE_LINK_LIBRARIES)
        foreach(lib IN LISTS links interface_links)
            if(lib MATCHES "^norvane_(.+)$" AND CMAKE_MATCH_1 IN_LIST NORVANE_ROOMS
               AND NOT CMAKE_MATCH_1 STREQUAL room
               AND NOT CMAKE_MATCH_1 IN_LIST NORVANE_USES_${room})
                message(FATAL_ERROR "norvane_${room} links ${lib}: ${room} may use only "
                                    "'${NORVANE_USES_${room}}' (cmake/layers.cmake)")
            endif()
        endforeach()
    endforeach()
endfunction()
