# Warnings of the project's own code, and the visibility rule: the libraries'
# internals are hidden, only the exported interface is visible.
#
# Warnings become errors only on request (CI and tools/test.sh turn it on): a
# user's compiler or optimisation level may warn where ours does not.
option(QUVEX_WARNINGS_AS_ERRORS "Treat warnings of the project's own code as errors" OFF)

function(quvex_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    $<$<BOOL:${QUVEX_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()

function(quvex_hidden target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
