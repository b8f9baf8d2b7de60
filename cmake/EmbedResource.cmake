# velmora_embed_resource(<target> TYPE <type> NAME <name> FILE <path> [STRIP] [DEPENDS <target>...])
#
# Puts the bytes of FILE into <target>'s executable as the resource TYPE/NAME,
# found at run time with platform::findModuleResource. On Windows it becomes a
# module resource (an .rc entry); elsewhere a generated source carries the
# bytes (.incbin) and registers them. FILE may be a generator expression such
# as $<TARGET_FILE:tool>; with STRIP an executable of our own build is embedded
# without its debug data.
set(VELMORA_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embedresource.cmake)
if(WIN32)
    # Module resources are compiled from .rc files.
    enable_language(RC)
endif()

function(velmora_embed_resource target)
    cmake_parse_arguments(ARG "STRIP" "TYPE;NAME;FILE" "DEPENDS" ${ARGN})
    set(strip "")
    if(ARG_STRIP)
        set(strip ${CMAKE_STRIP})
    endif()
    set(stem ${CMAKE_CURRENT_BINARY_DIR}/${target}_${ARG_TYPE}_${ARG_NAME})
    if(WIN32)
        set(output ${stem}.rc)
    else()
        set(output ${stem}.cpp)
    endif()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${ARG_FILE} -DOUTPUT=${output} -DTYPE=${ARG_TYPE}
                -DNAME=${ARG_NAME} -DSTRIP=${strip} -P ${VELMORA_EMBED_SCRIPT}
        DEPENDS ${ARG_FILE} ${ARG_DEPENDS} ${VELMORA_EMBED_SCRIPT}
        COMMENT "Embedding ${ARG_TYPE}/${ARG_NAME} into ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${output})
endfunction()

# The program's robocopy tool (resource EXEFILE/TESTFILE): our console copier,
# or the file that VELMORA_EMBEDDED_TOOL names.
function(velmora_embed_robocopy_tool target)
    if(VELMORA_EMBEDDED_TOOL)
        velmora_embed_resource(${target} TYPE EXEFILE NAME TESTFILE FILE ${VELMORA_EMBEDDED_TOOL})
    else()
        velmora_embed_resource(${target} TYPE EXEFILE NAME TESTFILE STRIP
                               FILE $<TARGET_FILE:velmora-copier> DEPENDS velmora-copier)
    endif()
endfunction()
