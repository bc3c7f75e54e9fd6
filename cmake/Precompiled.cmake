# SPDX-License-Identifier: GPL-3.0-or-later
# Nearly every file, the tests' above all, spends more time reading Qt's and QCoro's headers than compiling its own
# code. A few targets compile those headers once, one per layer of the program, and every target that builds on the
# core reuses the one of its layer:
#   core      Qt Core and Network, QCoro: the core library, the test support, the tests of the core
#   platform  the core's, with Qt D-Bus: the platform adapters and the tests that use them
#   ui        the core's, with Qt Widgets: the windows, the program, the tests of the windows
# A layer's headers are only those its targets may use, so that the core still cannot reach a widget or the bus
# without saying so. GCC takes the precompiled headers only when a file's options and macros agree with them
# (-Winvalid-pch, an error in a -Werror build): every macro defined where they were compiled must be defined alike in
# the file (so a layer links only what all its targets link publicly), and no macro the file defines may change what
# they say (so QtTest, which reads QT_GUI_LIB and QT_WIDGETS_LIB, stays out). A clang build (the fuzzers) compiles without them,
# and so does -DTIDEWELL_PRECOMPILE=OFF, which also shows a file that forgot an include these headers gave it.

function(tidewell_precompiled_layer layer)
    cmake_parse_arguments(ARG "" "" "LIBS;HEADERS" ${ARGN})
    add_library(tidewell-precompiled-${layer} OBJECT ${PROJECT_SOURCE_DIR}/cmake/precompiled.cpp)
    target_link_libraries(tidewell-precompiled-${layer} PRIVATE Qt6::Core Qt6::Network QCoro6::Core QCoro6::Network
        ${ARG_LIBS})
    target_precompile_headers(tidewell-precompiled-${layer} PRIVATE <QtCore> <QtNetwork> <QCoroTask>
        <QCoroNetworkReply> <QCoroTimer> <QCoroSignal> <algorithm> <chrono> <functional> <memory> <optional>
        <stop_token> <vector> ${ARG_HEADERS})
endfunction()

# Gives every target under `folder` that builds on the core the precompiled headers of its layer.
function(tidewell_reuse_precompiled folder)
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(libraries ${target} LINK_LIBRARIES)
        if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY)$" OR target MATCHES "^tidewell-precompiled-")
            continue()
        endif()
        if(target STREQUAL "tidewell-ui" OR "${libraries}" MATCHES "tidewell-ui")
            set(layer ui)
        elseif(target STREQUAL "tidewell-platform" OR "${libraries}" MATCHES "tidewell-platform")
            set(layer platform)
        elseif(target STREQUAL "tidewell-core" OR "${libraries}" MATCHES "tidewell-(core|testsupport)")
            set(layer core)
        else()
            continue()
        endif()
        target_precompile_headers(${target} REUSE_FROM tidewell-precompiled-${layer})
        # A test includes its own moc output, which leaves the target's generated moc file empty; reading the
        # precompiled headers would cost it more than a second for nothing.
        get_target_property(binary_dir ${target} BINARY_DIR)
        get_target_property(automoc ${target} AUTOMOC)
        if(type STREQUAL "EXECUTABLE" AND automoc AND NOT target STREQUAL "tidewell")
            set_source_files_properties(${binary_dir}/${target}_autogen/mocs_compilation.cpp
                TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
        endif()
    endforeach()
    get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    foreach(subfolder IN LISTS folders)
        tidewell_reuse_precompiled(${subfolder})
    endforeach()
endfunction()

tidewell_precompiled_layer(core)
tidewell_precompiled_layer(platform LIBS Qt6::DBus QCoro6::DBus HEADERS <QtDBus> <QCoroDBus>)
tidewell_precompiled_layer(ui LIBS Qt6::Widgets HEADERS <QtWidgets>)
tidewell_reuse_precompiled(${PROJECT_SOURCE_DIR})
