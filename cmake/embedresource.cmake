# Run by velmora_embed_resource at build time: copies INPUT beside OUTPUT
# (stripped when STRIP names a strip tool) and writes OUTPUT, which carries the
# copy's bytes as resource TYPE/NAME.
set(copy ${OUTPUT}.bin)
file(COPY_FILE ${INPUT} ${copy} ONLY_IF_DIFFERENT)
if(STRIP)
    execute_process(COMMAND ${STRIP} --strip-debug ${copy} RESULT_VARIABLE stripped)
    if(NOT stripped EQUAL 0)
        file(COPY_FILE ${INPUT} ${copy})
    endif()
endif()
file(SHA256 ${copy} digest)
string(MAKE_C_IDENTIFIER "velmora_resource_${TYPE}_${NAME}" symbol)

if(OUTPUT MATCHES "\\.rc$")
    set(text "// Generated: ${INPUT} (${digest})\n${NAME} ${TYPE} \"${copy}\"\n")
else()
    set(text "// Generated from ${INPUT}\n// SHA-256 of the embedded bytes: ${digest}\n\
#include \"platform/resources.h\"\n\n\
asm(\".section .rodata\\n\"\n\
    \".balign 16\\n\"\n\
    \".globl ${symbol}_begin\\n\"\n\
    \".hidden ${symbol}_begin\\n\"\n\
    \"${symbol}_begin:\\n\"\n\
    \".incbin \\\"${copy}\\\"\\n\"\n\
    \".globl ${symbol}_end\\n\"\n\
    \".hidden ${symbol}_end\\n\"\n\
    \"${symbol}_end:\\n\"\n\
    \".previous\\n\");\n\n\
extern \"C\" const unsigned char ${symbol}_begin[];\n\
extern \"C\" const unsigned char ${symbol}_end[];\n\n\
namespace {\n\
const bool registered = (velmora::platform::registerModuleResource(\n\
                             \"${TYPE}\", \"${NAME}\", ${symbol}_begin,\n\
                             static_cast<std::size_t>(${symbol}_end - ${symbol}_begin)),\n\
                         true);\n\
} // namespace\n")
endif()
# Rewritten only when it changes, so that an unchanged tool compiles nothing.
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} previous)
endif()
if(NOT previous STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
else()
    file(TOUCH_NOCREATE ${OUTPUT})
endif()
